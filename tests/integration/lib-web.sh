# The web tests' namespaces: lib-netns.sh with names (tweb-TAG-*) and
# addresses (10.79.N.x) of their own, so they never meet another test's.
source "$(dirname "${BASH_SOURCE[0]}")/lib-netns.sh"

web_netns_setup() { NETNS_PREFIX="${NETNS_PREFIX:-t}web" NETNS_NET=10.79 netns_setup "$@"; }

# serving SIDE ADDRESS:PORT SECONDS: that side's `serve --http` in $NS_B, its
# errors in $WORK/serve.err; its pid is $server. Returns once it serves.
serving() {
    run_in "$NS_B" "$1" serve --http "$2" --seconds "$3" > /dev/null 2> "$WORK/serve.err" &
    server=$!
    wait_for "$WORK/serve.err" "serving" 5 || fail "server did not start" "$WORK/serve.err"
}
