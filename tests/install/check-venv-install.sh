#!/usr/bin/env bash
# What a pipeline engineer does: unpack a source archive of this tree, make
# a virtual environment that sees Debian's packages (its NumPy), install
# the Python package into it with pip, from no package index, and use it
# from elsewhere: the pytest suite, with the Python page's example and the type
# check, runs against the installed package, which carries its own module.
# Everything happens in a temporary folder.
# Usage: check-venv-install.sh SOURCE_FOLDER VELDRA_PROGRAM VERSION
set -euo pipefail
source="$1"
veldra="$2"
version="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "check-venv-install: $*" >&2; exit 1; }

# The source archive: the files git knows in this tree (committed or new,
# as they are now), as a release's archive holds them in veldra-VERSION/.
cd "$source"
git ls-files -z --cached --others --exclude-standard \
  | while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done \
  | tar --null -T - --transform "s,^,veldra-$version/," -czf "$work/veldra-$version.tar.gz" \
  || fail "cannot archive $source (a git checkout)"
cd "$work"
tar xzf "veldra-$version.tar.gz"

# The source archive `python3 -m build` makes (MANIFEST.in) holds every
# file of the project but its CI's and git's, so that the wheel it then
# builds from it has everything the build reads.
cp -a "veldra-$version" sdist-source
/usr/bin/python3 -m build --sdist --no-isolation --outdir sdist sdist-source >sdist.log 2>&1 \
  || { cat sdist.log >&2; fail "python3 -m build --sdist failed"; }
missing="$(comm -13 <(tar tzf sdist/*.tar.gz | sed 's,^[^/]*/,,' | sort) \
  <(tar tzf "veldra-$version.tar.gz" | sed 's,^[^/]*/,,' | grep -v -e '/$' -e '^\.ci/' -e '^\.gitignore$' | sort))"
[ -z "$missing" ] || fail "python3 -m build's source archive lacks (MANIFEST.in): $missing"

/usr/bin/python3 -m venv --system-site-packages env || fail "python3 -m venv failed (python3-venv)"
env/bin/pip install --no-build-isolation --no-index "./veldra-$version" >pip.log 2>&1 \
  || { cat pip.log >&2; fail "pip install failed"; }

mkdir elsewhere
cd elsewhere
env -u PYTHONPATH ../env/bin/python -c '
import sys, veldra
assert veldra.__file__.startswith(sys.prefix), veldra.__file__
assert veldra.module_info()["module"].startswith(sys.prefix), veldra.module_info()["module"]
assert veldra.__version__ == sys.argv[1], veldra.__version__
' "$version" || fail "the installed package is not the one imported, or not complete"
env -u PYTHONPATH VELDRA="$veldra" PYTHONDONTWRITEBYTECODE=1 \
  ../env/bin/python -m pytest -q -p no:cacheprovider "../veldra-$version/tests/python" \
  || fail "the pytest suite fails against the installed package"
