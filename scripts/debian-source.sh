# Sourced by the scripts that cross-build a dependency for Windows.
#
# fetch_debian_source PACKAGE [VERSION...]: downloads Debian's source package
# PACKAGE into the current folder and unpacks it as ./PACKAGE. The versions
# given are tried first, then the mirror's own choice, then every version it
# lists, newest first (a security update's source may be missing while the
# release's is there). Fails when none can be fetched.
fetch_debian_source() {
  local package=$1
  shift
  local version
  for version in "$@" "" $(apt-cache showsrc "$package" 2>/dev/null | sed -n 's/^Version: //p' | sort -u -r); do
    rm -f ./*
    if apt-get source -q --download-only "$package${version:+=$version}" >/dev/null 2>&1; then
      dpkg-source --no-check -x "$package"_*.dsc "$package" >/dev/null
      return 0
    fi
  done
  return 1
}
