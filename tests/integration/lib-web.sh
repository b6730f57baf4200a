# The web tests' namespaces: lib-netns.sh with names (tweb-TAG-*) and
# addresses (10.79.N.x) of their own, so they never meet another test's.
source "$(dirname "${BASH_SOURCE[0]}")/lib-netns.sh"

web_netns_setup() { NETNS_PREFIX="${NETNS_PREFIX:-t}web" NETNS_NET=10.79 netns_setup "$@"; }
