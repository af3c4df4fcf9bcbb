# shellcheck shell=bash
# What every desktop session script in this folder shares: running its programs as the session's user so that
# none outlives the script, waiting for them, handing the session to the test, watching it, and stopping it.
# Sourced by a script that runs `set -euo pipefail` and has set `folder` (the session's folder, absolute); it sets
# `session_env` (the `env -i ...` prefix of its session's programs) before it waits for a bus name. The test
# services (scripts/with-services.sh) take the waiting and the user from here as well.

# The session runs as its own user, as a desktop does: nobody when we are root.
session_uid=$(id -u)
user_args=()
if [ "$session_uid" = 0 ]; then
    session_uid=65534
    user_args=(--reuid=65534 --regid=65534 --clear-groups)
fi
# A program as the session's user, which gets TERM when this script ends, however that comes.
as_user=(setpriv --pdeathsig TERM "${user_args[@]}")

components=()  # "NAME PID", in the order they started
declare -gA log_of=()  # NAME -> the log with its output, for a component whose log is not NAME's own
ready=0

# The last lines of each named log in the session's folder (a component's name: its log), on stderr.
session_log_tails() {
    local name
    for name in "$@"; do
        name=${log_of[$name]:-$name}
        if [ -s "$folder/$name.log" ]; then
            echo "--- $name.log" >&2
            tail -n 60 "$folder/$name.log" >&2
        fi
    done
}

# `session_fail WHAT LOG...`: says what did not come up, with the logs that say why, and ends the script
# (which stops the rest).
session_fail() {
    local what=$1
    shift
    echo "[session] $what did not start" >&2
    session_log_tails "$@"
    exit 1
}

# `session_start NAME COMMAND...`: COMMAND in the background as the session's user, its output in
# FOLDER/NAME.log. The pid kept is the program's own: setpriv and env exec it.
session_start() {
    local name=$1
    shift
    "${as_user[@]}" "$@" >>"$folder/$name.log" 2>&1 &
    components+=("$name $!")
}

# `session_adopt NAME PID LOG`: a component something else started (the bus, on demand), watched and stopped
# like the session's own; its output is in FOLDER/LOG.log.
session_adopt() {
    components+=("$1 $2")
    log_of[$1]=$3
}

session_pid() {
    local entry
    for entry in "${components[@]}"; do
        if [ "${entry% *}" = "$1" ]; then
            echo "${entry#* }"
            return 0
        fi
    done
    return 1
}

# `session_alive NAME`: the component still runs.
session_alive() {
    local pid
    pid=$(session_pid "$1") && kill -0 "$pid" 2>/dev/null
}

session_names() {
    local entry
    for entry in "${components[@]}"; do echo "${entry% *}"; done
}

# `session_forget NAME`: a component stopped on purpose is no longer watched.
session_forget() {
    local kept=() entry
    for entry in "${components[@]}"; do [ "${entry% *}" = "$1" ] || kept+=("$entry"); done
    components=("${kept[@]}")
}

# `session_poll SECONDS COMMAND...`: true once COMMAND succeeds, tried every 0.05 s for up to SECONDS. A
# component that dies meanwhile ends the session at once.
session_poll() {
    local deadline=$((${EPOCHREALTIME/./} + $1 * 1000000))
    shift
    while ((${EPOCHREALTIME/./} < deadline)); do
        "$@" >/dev/null 2>&1 && return 0
        session_check_components
        sleep 0.05
    done
    return 1
}

# Ends the session, with the log that says why, when one of its components has died.
session_check_components() {
    local entry
    for entry in "${components[@]}"; do
        kill -0 "${entry#* }" 2>/dev/null && continue
        echo "[session] ${entry% *} died" >&2
        session_log_tails "${entry% *}"
        exit 1
    done
}

# `session_wait_name SECONDS NAME`: the bus name has an owner on the session bus within SECONDS.
session_wait_name() {
    "${as_user[@]}" "${session_env[@]}" gdbus wait --session --timeout "$1" "$2" >/dev/null 2>&1
}

# Stops every component, the last started first: TERM, then KILL for what is still there after 2 s.
session_stop() {
    local i pid step
    for ((i = ${#components[@]} - 1; i >= 0; i--)); do kill -TERM "${components[i]#* }" 2>/dev/null || true; done
    for ((i = ${#components[@]} - 1; i >= 0; i--)); do
        pid=${components[i]#* }
        for ((step = 0; step < 40; step++)); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.05
        done
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    components=()
}

# Called by every script before it starts anything: whatever ends the script ends the session. Told to stop
# while starting, the test gave up waiting, and the logs say why.
session_begin() {
    trap session_stop EXIT
    trap 'session_stopped' TERM INT HUP
}
session_stopped() {
    [ "$ready" = 1 ] && exit 0
    echo "[session] stopped while starting" >&2
    # shellcheck disable=SC2046
    session_log_tails $(session_names)
    exit 1
}

# `session_ready KEY=VALUE...`: writes FOLDER/session.env in one piece, then says `ready`.
session_ready() {
    printf '%s\n' "$@" >"$folder/session.env.part"
    mv "$folder/session.env.part" "$folder/session.env"
    ready=1
    echo ready
}

# Until the test closes our standard input: a component that dies meanwhile ends the session, with its log.
session_watch() {
    local status
    while true; do
        read -r -t 0.5 _ && continue
        status=$?
        # Above 128 the wait ran out; anything else is the test's end of the pipe closing.
        [ "$status" -gt 128 ] || return 0
        session_check_components
    done
}

# `session_system_bus_config FILE SOCKET`: the configuration of a system bus of the session's own, on SOCKET,
# open to every program of the session (a desktop shell wants one; nothing real answers on it).
session_system_bus_config() {
    cat >"$1" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$2</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
    <allow user="*"/>
  </policy>
</busconfig>
CONF
}
