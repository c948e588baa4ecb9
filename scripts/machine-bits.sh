# Sourced by the scripts that run the build's Windows programs. Some virtual machines run no
# 32-bit code at all: their kernel refuses every 32-bit program, Wine's 32-bit loader included
# ("Exec format error"), so that no 32-bit Windows program can start there. runs_32bit answers
# whether this machine runs them, and when it does not, sets why_no_32bit. Any other failure of
# the loader is left for the programs themselves to show.
runs_32bit() {
  local answer
  answer=$(/usr/lib/wine/wine --version 2>&1) && return 0
  case "$answer" in
    *"Exec format error"*)
      why_no_32bit="its kernel refuses 32-bit programs (/usr/lib/wine/wine: Exec format error)"
      return 1 ;;
  esac
  return 0
}
