# shellcheck shell=sh
# Where bootnote stands on this phone, for the module's scripts, which
# source this file: customize.sh (with MODDIR unset) at install, service.sh
# at each boot and action.sh on the manager's Action button (MODDIR the
# module's absolute directory). Defines functions and variables only.

bootnote_on_path=/system/bin/bootnote
# What the module does, after its state in the module list's description.
# shellcheck disable=SC2034 # read by the scripts that source this file
bootnote_does='Sets or erases the boot command in misc: bootnote <path of misc> [<boot command>]'

# bootnote_path_state: one line, whether a root shell's PATH finds this
# module's build: the manager mounted the module's system/ when
# /system/bin/bootnote has the same bytes as MODDIR/system/bin/bootnote.
bootnote_path_state() {
  if [ ! -e "$bootnote_on_path" ]; then
    echo "NOT on PATH: run $MODDIR/system/bin/bootnote"
  elif cmp -s "$bootnote_on_path" "$MODDIR/system/bin/bootnote"; then
    echo "on PATH as $bootnote_on_path"
  else
    echo "another $bootnote_on_path is on PATH, not this module's build: install bootnote again"
  fi
}

# bootnote_metamodule: the metamodule as KernelSU's and APatch's daemons
# find it: the link, else the last module whose module.prop says
# metamodule=1 or true. Nothing where none.
bootnote_metamodule() {
  if [ -d /data/adb/metamodule ]; then
    echo /data/adb/metamodule
    return
  fi
  for bootnote_prop in /data/adb/modules/*/module.prop; do
    grep -qE '^ *metamodule *= *(1|[Tt][Rr][Uu][Ee])[[:space:]]*$' "$bootnote_prop" \
      2> /dev/null && echo "${bootnote_prop%/*}"
  done | tail -n 1
}

# bootnote_unmounted: "WHY; REMEDY", why the manager will not mount the
# module's system/, from its variables and files; nothing where it will.
# KernelSU to v2.1.2 (22084), KernelSU Next 1.x, SukiSU Ultra to v4.0.0 and
# MKSU (their mount variables), APatch to 11142 (APATCH_BIND_MOUNT, or
# below 11009) and FolkPatch's magic mount mount modules themselves; the
# KernelSU and APatch after them leave it to a metamodule, which a
# "disable" file stops.
bootnote_unmounted() {
  bootnote_after=" (meta-overlayfs mounts only the modules installed while it is enabled)"
  if [ "${KSU-}" = true ]; then
    if [ "${KSU_MAGIC_MOUNT-}" = true ] || [ "${KSU_OVERLAYFS-}" = true ] ||
      [ "${KSU_VER_CODE-}" -lt 22098 ] 2> /dev/null; then return; fi
    bootnote_manager="KernelSU (version code ${KSU_VER_CODE-unknown})"
  elif [ "${APATCH-}" = true ]; then
    if [ -n "${APATCH_BIND_MOUNT+set}" ] || [ "${APATCH_VER_CODE-}" -lt 11009 ] 2> /dev/null; then
      [ ! -e /data/adb/.litemode_enable ] || echo "APatch in lite mode" \
        "(/data/adb/.litemode_enable) mounts no module; turn lite mode off, then reboot"
      return
    fi
    [ ! -e /data/adb/.magic_mount_enable ] || return
    bootnote_manager="APatch (version code ${APATCH_VER_CODE-unknown})"
  else
    return
  fi
  bootnote_meta=$(bootnote_metamodule)
  if [ -z "$bootnote_meta" ]; then
    echo "$bootnote_manager mounts no module without a metamodule, and none is installed;" \
      "install a metamodule (such as meta-overlayfs), reboot," \
      "then install bootnote again$bootnote_after"
  elif [ -e "$bootnote_meta/disable" ]; then
    echo "the metamodule $bootnote_meta is disabled;" \
      "enable it, reboot, then install bootnote again$bootnote_after"
  fi
}
