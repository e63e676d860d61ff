// A contact sheet: reduced frames in a grid of rows and columns, each
// composited over a checkerboard so that transparency shows, with a label
// for every row and column.
#pragma once

#include <string>
#include <vector>

#include "image/Frame.h"

class ContactSheet {
public:
    // Cells of cellWidth x cellHeight pixels; frames placed are reduced by
    // whole-number factors to fit.
    ContactSheet(int rows, int columns, int cellWidth, int cellHeight);

    void LabelRow(int row, std::string text) { rowLabels_[row] = std::move(text); }
    void LabelColumn(int column, std::string text) { columnLabels_[column] = std::move(text); }

    // Puts a reduced copy of `frame` in a cell. Different cells may be
    // filled from different threads at once.
    void Place(int row, int column, const Frame& frame);

    // Draws the labels and writes the sheet as a 16-bit PNG.
    void Write(const std::string& path);

private:
    int rows_, columns_, cellWidth_, cellHeight_;
    std::vector<std::string> rowLabels_, columnLabels_;
    Frame sheet_;
};
