#!/usr/bin/env bash
# package_test.sh MODE TOP CMAKE_TOOLBOX: the toolbox as users get it, through the real host.
#   install  `make dist`'s tarball installed by `pkg install` into a temporary prefix (never
#            the machine's Octave), loaded by `pkg load`, every function called, help read
#   setup    the tarball unpacked, motionseg_setup run from a clean session: it builds every
#            plug-in with compile_toolbox, sets the path and leaves the environment as it was
#   version  VERSION, toolbox/Contents.m, CITATION.cff and CHANGELOG.md name the same version
# In install and setup, denseMotion's flow must equal, bit for bit, that of the CMake build's
# plug-in in CMAKE_TOOLBOX: every build uses the flags of compile_flags.txt.
set -euo pipefail
mode=$1
top=$2
cmake_toolbox=${3:-}
version=$(head -n 1 "$top/VERSION")

if [ "$mode" = version ]; then
  fail() { echo "version: $*" >&2; exit 1; }
  [[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "VERSION holds '$version'"
  sed -n 2p "$top/toolbox/Contents.m" | grep -qx "% Version $version [0-9]*-[A-Z][a-z][a-z]-[0-9]*" ||
    fail "line 2 of toolbox/Contents.m is not '% Version $version DD-Mon-YYYY'"
  grep -qx "version: $version" "$top/CITATION.cff" || fail "CITATION.cff has no 'version: $version'"
  grep -qx "## $version - [0-9-]*" "$top/CHANGELOG.md" || fail "CHANGELOG.md has no entry for $version"
  echo "version $version: 1 passed, 0 failed"
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
octave=(octave-cli --no-gui --norc --quiet --no-history)
# ccache, where the machine has it, returns the same objects faster on the next run.
if command -v ccache >/dev/null 2>&1; then
  export CXX="ccache g++" CCACHE_BASEDIR=$work
fi
tarball=$("$top/tools/make-dist" "$work/dist")
tests="$top/tests/package"

case "$mode" in
  install)
    # A home of its own, so that nothing of the user's Octave set-up takes part.
    export HOME=$work/home
    mkdir -p "$HOME"
    "${octave[@]}" --eval "
      prefix = '$work/prefix';
      pkg('prefix', prefix, prefix);
      pkg('local_list', '$work/local_list');
      pkg('global_list', '$work/global_list');
      pkg('install', '-local', '$tarball');
      pkg('load', 'motionseg');
      info = pkg('list');
      assert(numel(info) == 1 && strcmp(info{1}.name, 'motionseg'));
      assert(strcmp(info{1}.version, '$version'), info{1}.version);
      assert(strncmp(info{1}.dir, prefix, numel(prefix)), info{1}.dir);
      addpath('$tests');
      check_toolbox('$top/plugins.txt', '$work/package.flow');
      printf('pkg install: 1 passed, 0 failed\n');"
    built=$work/package.flow
    ;;
  setup)
    tar -C "$work" -xzf "$tarball"
    unpacked=$work/motionseg-$version
    # A clean session with CXXFLAGS set and XTRA_CXXFLAGS unset, as a user's may be: the
    # compile must leave both so.
    CXXFLAGS=-DUSER_SETTING "${octave[@]}" --eval "
      unsetenv('XTRA_CXXFLAGS');
      cd('$unpacked/inst');
      motionseg_setup();
      cd('$work');
      assert(strcmp(getenv('CXXFLAGS'), '-DUSER_SETTING'), getenv('CXXFLAGS'));
      assert(isempty(getenv('XTRA_CXXFLAGS')), getenv('XTRA_CXXFLAGS'));
      assert(strcmp(which('edgeTrim'), '$unpacked/inst/edgeTrim.mex'), which('edgeTrim'));
      addpath('$tests');
      check_toolbox('$unpacked/src/plugins.txt', '$work/setup.flow');
      % A second call finds every plug-in built and compiles nothing.
      text = evalc('motionseg_setup()');
      assert(isempty(text), text);
      % A source newer than its plug-in (an updated tree) rebuilds that plug-in alone.
      system('touch -d \"+1 minute\" $unpacked/src/superpixel/stats/edge_trim.cpp');
      text = evalc('motionseg_setup()');
      assert(~isempty(strfind(text, 'building 1 plug-in(s)')) && ~isempty(strfind(text, ': edgeTrim')), text);
      printf('motionseg_setup: 2 passed, 0 failed\n');"
    built=$work/setup.flow
    ;;
  *)
    echo "package_test.sh: unknown mode $mode" >&2
    exit 2
    ;;
esac

# The same flow from the CMake build's denseMotion.
if [ -n "$cmake_toolbox" ]; then
  "${octave[@]}" --eval "
    addpath('$cmake_toolbox', '$tests');
    check = '$work/cmake.flow';
    check_toolbox('$top/plugins.txt', check);
    theirs = load(check);
    mine = load('$built');
    assert(isequal(mine.motion, theirs.motion), 'denseMotion differs from the CMake build''s');
    printf('same bits as the CMake build: 1 passed, 0 failed\n');"
fi
