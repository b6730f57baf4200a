#!/bin/bash
# Regenerates the reference data of the SAP tests with independent tools:
# MD5 and DES-CBC from the openssl command line (legacy provider), gzip
# members from gzip(1). The DES key is derived here from openssl's MD5 digest
# (56 bits in eight 7-bit groups, each shifted left with odd parity), so the
# tests compare our derivation and cipher against these files.
# Run from this folder; needs openssl, gzip, xxd and python3.
set -euo pipefail

sdp1=$'v=0\no=alice 2890844526 2890842807 IN IP4 10.47.16.5\ns=Encrypted seminar\nc=IN IP4 224.2.17.12/127\nt=0 0\nm=audio 49170 RTP/AVP 0\n'
printf '%s' "$sdp1" > plain.sdp

derive() { # key text -> 16 hex digits
    local md5; md5=$(printf '%s' "$1" | openssl dgst -md5 -r | cut -c1-14)
    python3 -c '
import sys
bits = int(sys.argv[1], 16)
out = ""
for i in range(8):
    g = (bits >> (49 - 7*i)) & 0x7F
    b = g << 1
    if bin(b).count("1") % 2 == 0: b |= 1
    out += "%02x" % b
print(out)' "$md5"
}

des() { # key-hex < plain > cipher (no padding added by openssl)
    openssl enc -des-cbc -provider legacy -provider default -nopad -K "$1" -iv 0000000000000000
}

# header: v1 announcement, encrypted; auth 0; hash 0; source 10.0.0.1
hdr() { printf "\\x$1\\x00\\x00\\x00\\x0a\\x00\\x00\\x01"; }
keyid() { printf "$1"; printf '\x20\x00\x00\x00\x00\x00\x00\x00'; }

keyA="shared group key A"; keyB="another key for B"
kA=$(derive "$keyA"); kB=$(derive "$keyB")
printf '%s\n' "$kA" > keyA.hex; printf '%s\n' "$kB" > keyB.hex
printf '%s' "$keyA" | openssl dgst -md5 -r | cut -c1-32 > keyA.md5

# 1. Plain text whose length is a multiple of 8, first byte 'v': taken whole.
pad_to8() { local n=$(( (8 - ${#1} % 8) % 8 )); printf '%s' "$1"; for ((i=0;i<n;i++)); do printf ' '; done; }
{ hdr 22; keyid '\x00\x00\x4e\x20'; pad_to8 "$sdp1" | des "$kA"; } > enc-whole-A.sap

# 2. Padding flag: first byte has 0x80 set, last byte says how many to cut.
padded() { # text, key -> ciphertext with the padding rule
    local t="$1" n=$(( 8 - ${#1} % 8 ))
    [ "$n" -eq 8 ] && n=8
    { printf '\xf6'; printf '%s' "${t:1}"; for ((i=1;i<n;i++)); do printf '\x00'; done; printf "\\x0$n"; } | des "$2"
}
sdp5="${sdp1}a=x"   # length not a multiple of 8, so 1..7 padding bytes
{ hdr 22; keyid '\x00\x00\x4e\x20'; padded "$sdp5" "$kB"; } > enc-padded-B.sap
printf '%s' "$sdp5" > padded.sdp

# 3. Bad padding count 0.
{ hdr 22; keyid '\x00\x00\x4e\x20'; { printf '\xf6'; printf '%s' "${sdp1:1:46}"; printf '\x00'; } | des "$kA"; } > enc-badpad-A.sap

# 4. Empty key text: the all-zero DES key.
{ hdr 22; keyid '\x00\x00\x00\x00'; pad_to8 "$sdp1" | des 0000000000000000; } > enc-zero-key.sap

# gzip members made by gzip(1): with and without the file name field.
printf '%s' "$sdp1" > session.sdp
gzip -9 -c -n session.sdp > plain-noname.gz
gzip -9 -c -N session.sdp > plain-name.gz
rm session.sdp
{ printf '\x21\x00\x00\x00\x0a\x00\x00\x01'; cat plain-name.gz; } > gzip-name.sap
