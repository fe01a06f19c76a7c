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
# Magisk before v28, KernelSU and APatch say ARCH=arm for every ABI they do
# not know (riscv64 among them): the phone's own list decides.
bootnote_abiprop=ro.product.cpu.abilist
bootnote_abis=$(getprop $bootnote_abiprop 2> /dev/null)
if [ -z "$bootnote_abis" ]; then
  bootnote_abiprop=ro.product.cpu.abi
  bootnote_abis=$(getprop $bootnote_abiprop 2> /dev/null)
fi
case ",$bootnote_abis," in
  *",$bootnote_abi,"*) ;;
  *) abort "! bootnote: this phone runs \"$bootnote_abis\" ($bootnote_abiprop), not $bootnote_abi, the build for ARCH $ARCH; this module has no build for it" ;;
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

# The metamodule as KernelSU's and APatch's daemons find it: the link, else
# a module whose module.prop says metamodule=1 or true. Nothing where none.
bootnote_metamodule() {
  if [ -d /data/adb/metamodule ]; then echo /data/adb/metamodule; return; fi
  for bootnote_prop in /data/adb/modules/*/module.prop; do
    grep -qE '^ *metamodule *= *(1|[Tt][Rr][Uu][Ee])[[:space:]]*$' "$bootnote_prop" 2> /dev/null && echo "${bootnote_prop%/*}"
  done | tail -n 1
}
# Why the manager will not mount the module's system/, and so bootnote is
# not on PATH after the reboot; nothing where it will. KernelSU to v2.1.2
# (22084), KernelSU Next 1.x, SukiSU Ultra to v4.0.0 and MKSU (their mount
# variables), APatch to 11142 (APATCH_BIND_MOUNT, or below 11009) and
# FolkPatch's magic mount mount modules themselves; the KernelSU and APatch
# after them leave it to a metamodule, which a "disable" file stops.
bootnote_unmounted() {
  bootnote_after=" (a metamodule mounts only the modules installed while it is enabled)"
  if [ "${KSU-}" = true ]; then
    if [ "${KSU_MAGIC_MOUNT-}" = true ] || [ "${KSU_OVERLAYFS-}" = true ] ||
      [ "${KSU_VER_CODE-}" -lt 22098 ] 2> /dev/null; then return; fi
    bootnote_manager="KernelSU (version code ${KSU_VER_CODE-unknown})"
  elif [ "${APATCH-}" = true ]; then
    if [ -n "${APATCH_BIND_MOUNT+set}" ] || [ "${APATCH_VER_CODE-}" -lt 11009 ] 2> /dev/null; then
      [ ! -e /data/adb/.litemode_enable ] ||
        echo "APatch in lite mode (/data/adb/.litemode_enable) mounts no module; turn lite mode off, then reboot"
      return
    fi
    [ ! -e /data/adb/.magic_mount_enable ] || return
    bootnote_manager="APatch (version code ${APATCH_VER_CODE-unknown})"
  else
    return
  fi
  bootnote_meta=$(bootnote_metamodule)
  if [ -z "$bootnote_meta" ]; then
    echo "$bootnote_manager mounts no module without a metamodule, and none is installed; install a metamodule (such as meta-overlayfs), reboot, then install bootnote again$bootnote_after"
  elif [ -e "$bootnote_meta/disable" ]; then
    echo "the metamodule $bootnote_meta is disabled; enable it, reboot, then install bootnote again$bootnote_after"
  fi
}
bootnote_why=$(bootnote_unmounted)
if [ -n "$bootnote_why" ]; then
  ui_print "- bootnote will not be on PATH after the reboot: ${bootnote_why%%; *}."
  ui_print "  Until it is, run it as /data/adb/modules/bootnote/system/bin/bootnote"
  ui_print "  To have it on PATH: ${bootnote_why#*; }."
fi
