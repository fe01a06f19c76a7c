# shellcheck shell=sh
# The stand-in of the managers' installer, as /data/adb/magisk/util_functions.sh
# (tests/module_install.sh): module.prop read, the zip but META-INF extracted
# into MODPATH, the default owner and modes, customize.sh sourced, then
# deleted, as every real installer does. abort leaves with 3, told apart
# from another exit. VER_CODE is the Magisk version code it reports.
# shellcheck disable=SC2034 # read by the update-binary that sources this file
MAGISK_VER_CODE=$VER_CODE
ui_print() { echo "$1"; }
abort() { echo "$1"; rm -rf "$MODPATH"; exit 3; }
set_perm() { chown "$2:$3" "$1" && chmod "$4" "$1"; }
install_module() {
  unzip -o -q "$ZIPFILE" module.prop -d /tmp &&
    MODPATH=/data/adb/modules_update/$(sed -n "s/^id=//p" /tmp/module.prop) &&
    mkdir -p "$MODPATH" && unzip -o -q "$ZIPFILE" -x "META-INF/*" -d "$MODPATH" &&
    chown -R 0:0 "$MODPATH" && find "$MODPATH" -type d -exec chmod 755 {} + &&
    find "$MODPATH" -type f -exec chmod 644 {} + || exit 4
  # shellcheck disable=SC1091 # the module's, in the sandbox
  . "$MODPATH/customize.sh"
  rm -f "$MODPATH/customize.sh"
  echo INSTALLED
}
