"""module_info() and __version__ say what `veldra info` and `veldra --version`
say, of the same module file."""

import veldra
from conftest import run_veldra


def test_module_info_and_version_match_the_command():
    # The package may carry a module file of its own (pip installs one in
    # it): the command is asked about that one.
    info = veldra.module_info()
    printed = {}
    for line in run_veldra("info", "--module", info["module"]).stdout.splitlines():
        key, value = line.split(":", 1)
        printed[key.replace(" ", "_")] = value.strip()
    as_printed = {key: hex(value) if isinstance(value, int) and printed[key].startswith("0x") else str(value)
                  for key, value in info.items() if key != "identifier"}
    as_printed["block_size"] += " bytes"
    assert {key: value.lower() for key, value in as_printed.items()} == \
        {key: value.lower() for key, value in printed.items() if key != "identifier"}
    assert printed["identifier"].lower() == " ".join(f"0x{part:08x}" for part in info["identifier"])
    assert run_veldra("--version").stdout.split()[1] == veldra.__version__
