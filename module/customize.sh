# shellcheck shell=sh
# The module's install step. The installer of Magisk, KernelSU and APatch
# extracts the zip into $MODPATH, then sources this file in BusyBox ash in
# standalone mode, with ARCH naming the phone's CPU. It keeps the one build
# that CPU runs, as system/bin/bootnote, and removes the others. It never
# calls exit, which would stop the installer before it finishes: a failure
# is abort, which also removes the module.

case $ARCH in
  arm) bootnote_abi=armeabi-v7a ;;
  arm64) bootnote_abi=arm64-v8a ;;
  x86) bootnote_abi=x86 ;;
  x64) bootnote_abi=x86_64 ;;
  *) abort "! bootnote: no build for ARCH \"$ARCH\"; this module has armeabi-v7a (arm), arm64-v8a (arm64), x86 (x86) and x86_64 (x64)" ;;
esac
[ -f "$MODPATH/abi/$bootnote_abi/bootnote" ] || abort "! bootnote: $ZIPFILE lacks its $bootnote_abi build"
# system/ and system/bin/ as the installer would have set them, had the zip
# held them: a mounted module shows system/bin's owner and mode as
# /system/bin's.
{ mkdir -p "$MODPATH/system/bin" && mv "$MODPATH/abi/$bootnote_abi/bootnote" "$MODPATH/system/bin/bootnote" &&
  rm -rf "$MODPATH/abi" && set_perm "$MODPATH/system" 0 0 0755 && set_perm "$MODPATH/system/bin" 0 2000 0755 &&
  set_perm "$MODPATH/system/bin/bootnote" 0 2000 0755; } ||
  abort "! bootnote: could not install the $bootnote_abi build as $MODPATH/system/bin/bootnote"
ui_print "- bootnote: the $bootnote_abi build (ARCH $ARCH) installed as /system/bin/bootnote; reboot to use it"

# KernelSU from v3.0.0 and APatch from 11219 leave the mount of every
# module's system/ to a metamodule; without one, bootnote is installed but
# not on PATH after the reboot, and nothing else would say so.
bootnote_manager=
[ "${KSU-}" = true ] && bootnote_manager="KernelSU v3.0.0"
[ "${APATCH-}" = true ] && bootnote_manager="APatch 11219"
if [ -n "$bootnote_manager" ] && [ ! -e /data/adb/metamodule ]; then
  ui_print "- bootnote: $bootnote_manager and later mount no module's system/ without a metamodule"
  ui_print "  (such as meta-overlayfs), and none is installed: bootnote will not be on PATH."
  ui_print "  Until one is, run it after the reboot as /data/adb/modules/bootnote/system/bin/bootnote"
fi
