# shellcheck shell=sh
# The module's install step. The installer of Magisk, KernelSU and APatch
# extracts the zip into $MODPATH, then sources this file in BusyBox ash in
# standalone mode, with ARCH naming the phone's CPU. It keeps the one build
# that CPU runs, as system/bin/bootnote, and removes the others. It never
# calls exit, which would stop the installer before it finishes: a failure
# is abort, which also removes the module. abort and ui_print take one
# argument: a long message is put together first.

case $ARCH in
  arm) bootnote_abi=armeabi-v7a ;;
  arm64) bootnote_abi=arm64-v8a ;;
  x86) bootnote_abi=x86 ;;
  x64) bootnote_abi=x86_64 ;;
  *)
    bootnote_said="! bootnote: no build for ARCH \"$ARCH\"; this module has armeabi-v7a (arm),"
    abort "$bootnote_said arm64-v8a (arm64), x86 (x86) and x86_64 (x64)"
    ;;
esac
# Magisk before v28, KernelSU and APatch say ARCH=arm for every ABI they do
# not know (riscv64 among them): the phone's own list decides. Where getprop
# answers nothing (not on the installer's PATH, say), the kernel's machine
# name gives one, as a list like the property's.
bootnote_abisource=ro.product.cpu.abilist
bootnote_abis=$(getprop $bootnote_abisource 2> /dev/null)
if [ -z "$bootnote_abis" ]; then
  bootnote_abisource=ro.product.cpu.abi
  bootnote_abis=$(getprop $bootnote_abisource 2> /dev/null)
fi
if [ -z "$bootnote_abis" ]; then
  bootnote_abisource="uname -m"
  bootnote_abis=$(uname -m 2> /dev/null)
  case $bootnote_abis in
    armv7l | armv8l) bootnote_abis=armeabi-v7a ;;
    aarch64) bootnote_abis=arm64-v8a ;;
    i686) bootnote_abis=x86 ;;
    x86_64) bootnote_abis=x86_64,x86 ;;
  esac
fi
case ",$bootnote_abis," in
  *",$bootnote_abi,"*) ;;
  *)
    bootnote_said="! bootnote: this phone runs \"$bootnote_abis\" ($bootnote_abisource), not"
    abort "$bootnote_said $bootnote_abi, the build for ARCH $ARCH; this module has no build for it"
    ;;
esac
[ -f "$MODPATH/abi/$bootnote_abi/bootnote" ] ||
  abort "! bootnote: $ZIPFILE lacks its $bootnote_abi build"
# system/ and system/bin/ as the installer would have set them, had the zip
# held them: a mounted module shows system/bin's owner and mode as
# /system/bin's.
bootnote_bin=$MODPATH/system/bin/bootnote
{ mkdir -p "$MODPATH/system/bin" && mv "$MODPATH/abi/$bootnote_abi/bootnote" "$bootnote_bin" &&
  rm -rf "$MODPATH/abi" && set_perm "$MODPATH/system" 0 0 0755 &&
  set_perm "$MODPATH/system/bin" 0 2000 0755 && set_perm "$bootnote_bin" 0 2000 0755; } ||
  abort "! bootnote: could not install the $bootnote_abi build as $bootnote_bin"
bootnote_said="- bootnote: the $bootnote_abi build (ARCH $ARCH) installed as /system/bin/bootnote;"
ui_print "$bootnote_said reboot to use it"

# A forecast from the manager's variables and files; after the reboot the
# module list says what the phone found (service.sh).
# A missing file given to "." would end the installer's shell: looked for
# first.
[ -f "$MODPATH/path_state.sh" ] || abort "! bootnote: $ZIPFILE lacks path_state.sh"
# shellcheck source=SCRIPTDIR/path_state.sh
. "$MODPATH/path_state.sh"
bootnote_why=$(bootnote_unmounted)
if [ -n "$bootnote_why" ]; then
  ui_print "- bootnote will not be on PATH after the reboot: ${bootnote_why%%; *}."
  ui_print "  Until it is, run it as /data/adb/modules/bootnote/system/bin/bootnote"
  ui_print "  To have it on PATH: ${bootnote_why#*; }."
fi
