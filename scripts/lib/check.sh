# Sourced by the check scripts: check WHAT COMMAND... runs the command, prints "ok: WHAT"
# or "FAILED: WHAT" with the command's output, and counts into $passed and $failed.
# Needs $work, a scratch folder.
passed=0
failed=0
check() {  # what, command...
    local what=$1
    shift
    if "$@" >"$work/out" 2>&1; then
        echo "ok: $what"
        passed=$((passed + 1))
    else
        echo "FAILED: $what"
        sed 's/^/    /' "$work/out"
        failed=$((failed + 1))
    fi
}
