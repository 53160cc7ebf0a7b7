# Sourced by the build scripts: `launcher` holds the cmake options that put
# ccache before the compilers when it is installed (none otherwise). It keeps
# what each tree compiled for that tree's next build.
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
