# The web tests' namespaces: lib-netns.sh with names of their own, so they
# never meet another test's namespaces or links.
source "$(dirname "${BASH_SOURCE[0]}")/lib-netns.sh"

# web_netns_setup TAG N: as netns_setup, the namespaces named tweb-TAG-*.
web_netns_setup() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "needs root for network namespaces; skipped"
        exit 77
    fi
    local tag="$1" n="$2"
    NS_A="tweb-${tag}-a-$$"; NS_B="tweb-${tag}-b-$$"
    ADDR_A="10.79.$n.1"; ADDR_B="10.79.$n.2"
    trap netns_cleanup EXIT
    WORK="$(mktemp -d)"
    ip netns add "$NS_A"
    ip netns add "$NS_B"
    ip link add "twa$$" type veth peer name "twb$$"
    ip link set "twa$$" netns "$NS_A"
    ip link set "twb$$" netns "$NS_B"
    ip -n "$NS_A" addr add "$ADDR_A/24" dev "twa$$"
    ip -n "$NS_B" addr add "$ADDR_B/24" dev "twb$$"
    for ns in "$NS_A" "$NS_B"; do ip -n "$ns" link set lo up; done
    ip -n "$NS_A" link set "twa$$" up multicast on
    ip -n "$NS_B" link set "twb$$" up multicast on
    ip -n "$NS_A" route add 224.0.0.0/4 dev "twa$$"
    ip -n "$NS_B" route add 224.0.0.0/4 dev "twb$$"
}
