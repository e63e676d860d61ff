// A contact sheet: reduced frames in a grid of rows and columns, each
// composited over a checkerboard so that transparency shows, with a label
// for every row and column.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "image/Frame.h"

class ContactSheet {
public:
    virtual ~ContactSheet() = default;

    virtual void LabelRow(int row, std::string text) = 0;
    virtual void LabelColumn(int column, std::string text) = 0;

    // Puts a reduced copy of `frame` in a cell. Different cells may be
    // filled from different threads at once.
    virtual void Place(int row, int column, const Frame& frame) = 0;

    // Draws the labels and writes the sheet as a 16-bit PNG.
    virtual void Write(const std::string& path) = 0;
};

// A sheet of cells of cellWidth x cellHeight pixels; frames placed are
// reduced by whole-number factors to fit. The library's side: the image
// program reaches it through TheImageLibrary() (image/ImageLibrary.h).
std::unique_ptr<ContactSheet> MakeContactSheet(int rows, int columns, int cellWidth, int cellHeight);
