# The types of `import veldra`, for type checkers and editors. The package
# itself is an extension module (python/Module.cpp), whose docstrings say
# what each function does; the names with an underscore exist only here.
import builtins
import os
from fractions import Fraction
from typing import Callable, Iterable, Literal, Optional, TypedDict, TypeVar, Union

import numpy as np
import numpy.typing as npt

__version__: str

_Axis = Literal["x", "y", "z"]
_Pivot = Literal["lower", "center", "centre", "upper"]
_Alpha = Literal["filter", "keep"]
_Depth = Literal["uint8", "uint16", "half", "float"]
_Codec = Literal["prores4444", "prores422hq", "dnxhr_hq", "dnxhr_444", "h264"]
# The element types a picture may have; turn() returns the type it is given.
_Pixel = TypeVar("_Pixel", np.uint8, np.uint16, np.float16, np.float32)
# The filter's active range: (first, last), or "A-B".
_Range = Union[tuple[int, int], str]
_Path = Union[str, os.PathLike[str]]

class _ModuleInfo(TypedDict):
    module: str
    description: str
    version: int
    classes: int
    class_name: str
    category: str
    family_code: int
    identifier: tuple[int, int]
    filter_name: str
    author: str
    notice: str
    tag: int
    capabilities: int
    block_size: int

class Params:
    """The filter's settings: its 20-byte parameter block."""

    def __init__(self, axis: _Axis = "x", pivot: _Pivot = "center", start: float = 0.0, end: float = 0.0) -> None: ...
    @property
    def axis(self) -> _Axis: ...
    @axis.setter
    def axis(self, axis: _Axis) -> None: ...
    @property
    def pivot(self) -> _Pivot: ...  # never "centre", which is read as "center"
    @pivot.setter
    def pivot(self, pivot: _Pivot) -> None: ...
    @property
    def start(self) -> float: ...
    @start.setter
    def start(self, degrees: float) -> None: ...
    @property
    def end(self) -> float: ...
    @end.setter
    def end(self, degrees: float) -> None: ...
    @staticmethod
    def load(path: _Path) -> Params: ...
    def save(self, path: _Path) -> None: ...
    @staticmethod
    def from_bytes(block: bytes) -> Params: ...
    def __bytes__(self) -> bytes: ...
    def __eq__(self, other: object) -> bool: ...

def turn(
    image: npt.NDArray[_Pixel],
    params: Params,
    frame: int = 0,
    range: Optional[_Range] = None,
    alpha: _Alpha = "filter",
    premultiplied: bool = False,
) -> npt.NDArray[_Pixel]: ...
def render(
    input: _Path,
    output: _Path,
    frames: Union[None, int, str, builtins.range, Iterable[int]] = None,
    range: Optional[_Range] = None,
    params: Union[None, Params, _Path] = None,
    alpha: _Alpha = "filter",
    depth: Optional[_Depth] = None,
    jobs: Optional[int] = None,
    progress: Optional[Callable[[int, int], None]] = None,
    codec: Optional[_Codec] = None,
    fps: Union[None, int, float, str, Fraction] = None,
    timecode: Optional[str] = None,
    quality: Optional[int] = None,
    colorconvert: Optional[tuple[str, str]] = None,
    colorconfig: Optional[_Path] = None,
) -> list[str]: ...
def module_info() -> _ModuleInfo: ...
