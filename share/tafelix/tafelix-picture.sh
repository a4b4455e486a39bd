# tafelix-picture.sh: the picture step of tafelix.mk, which reads this file
# with `.` in its recipes and then calls
#
#   tafelix_picture KIND PICTURE BITMAP RRGGBB [-wt]
#
# with ImageMagick as the shell function tafelix_magick. It sets
# tafelix_bitmap to the file that tafelix converts: PICTURE itself when it
# is an uncompressed 24-bit BMP or a BMP whose header is damaged (tafelix's
# own messages then say what is wrong), else BITMAP, made by ImageMagick as
# tafelix-convert.cmake makes it for CMake, in the same two steps (see
# there). KIND (png, jpeg, gif, webp or bmp) comes from the picture's name
# and names ImageMagick's coder, so that no outside program ever starts.
# ImageMagick reads the picture on standard input and writes to standard
# output: no name ever reaches its file name parser. Needs only a POSIX
# shell and od.
#
# By hand, `sh tafelix-picture.sh PICTURE BITMAP [RRGGBB [-wt]]` makes
# BITMAP, the bitmap for tafelix (a copy of PICTURE when that goes to
# tafelix as it is), with ImageMagick from TAFELIX_MAGICK, else magick, else
# convert.

# Prints "tafelix: PICTURE: ..." with ImageMagick's reason, read from the
# file $1 (its messages without the program's name and the temporary file
# it adds), and fails.
tafelix_refused() {
    tafelix_reason=
    while IFS= read -r tafelix_line; do
        tafelix_line=${tafelix_line#*: }
        tafelix_line=${tafelix_line%% \`*}
        case $tafelix_line in *"no images defined"*) continue ;; esac
        case "$tafelix_reason; " in
        *"; $tafelix_line; "*) ;;
        *) tafelix_reason="$tafelix_reason; $tafelix_line" ;;
        esac
    done <"$1"
    rm -f "$1" "$tafelix_made" "$tafelix_made.png"
    if test -z "$tafelix_reason"; then
        # ImageMagick says only "no images defined" of some damaged
        # pictures, and of those its policy.xml refuses (Debian's: over
        # 16000 pixels wide or high, which the size from the header catches
        # first).
        printf "tafelix: %s: ImageMagick read no %s picture from it and gave no reason: it is damaged, or ImageMagick's policy.xml refuses it\n" \
            "$tafelix_picture" "$tafelix_kind_name" >&2
    else
        printf 'tafelix: %s: ImageMagick cannot read it as a %s picture: %s\n' \
            "$tafelix_picture" "$tafelix_kind_name" "${tafelix_reason#; }" >&2
    fi
    return 1
}

# Prints the number of $2 bytes at $1 of the picture, little-endian (with
# big as $3, big-endian); fails where the file ends first.
tafelix_number_at() {
    tafelix_order=${3:-little} tafelix_count=$2
    set -- $(od -An -tu1 -j"$1" -N"$2" <"$tafelix_picture")
    test $# = "$tafelix_count" || return 1
    tafelix_number=0 tafelix_scale=1
    for tafelix_byte; do
        if test "$tafelix_order" = big; then
            tafelix_number=$((tafelix_number * 256 + tafelix_byte))
        else
            tafelix_number=$((tafelix_number + tafelix_byte * tafelix_scale)) tafelix_scale=$((tafelix_scale * 256))
        fi
    done
    echo $tafelix_number
}

# Sets tafelix_width and tafelix_height to the picture's size read from its
# header as the page reads it (a GIF's logical screen, a JPEG's first frame
# header); both empty when the header gives none. Read before ImageMagick
# sees the picture, so that a picture over the limits is refused naming its
# size, also where ImageMagick would refuse it without a word.
tafelix_header_size() {
    tafelix_width= tafelix_height=
    tafelix_head=
    for tafelix_byte in $(od -An -tx1 -N30 <"$tafelix_picture"); do
        tafelix_head=$tafelix_head$tafelix_byte
    done
    case $tafelix_kind:$tafelix_head in
    png:89504e470d0a1a0a0000000d49484452*)
        tafelix_width=$(tafelix_number_at 16 4 big) tafelix_height=$(tafelix_number_at 20 4 big) ;;
    gif:474946383[79]61*)
        tafelix_width=$(tafelix_number_at 6 2) tafelix_height=$(tafelix_number_at 8 2) ;;
    bmp:424d*)
        if test "$(tafelix_number_at 14 4)" = 12; then
            tafelix_width=$(tafelix_number_at 18 2) tafelix_height=$(tafelix_number_at 20 2)
        else
            tafelix_width=$(tafelix_number_at 18 4) tafelix_height=$(tafelix_number_at 22 4)
            test "${tafelix_height:-0}" -lt 2147483648 || tafelix_height=$((4294967296 - tafelix_height))
            test "${tafelix_width:-0}" -lt 2147483648 || tafelix_width=
        fi ;;
    webp:52494646????????574542505650384c????????2f*)
        # VP8L: a signature byte, then 14 bits each of width - 1, height - 1.
        tafelix_number=$(tafelix_number_at 21 4) &&
            tafelix_width=$(((tafelix_number & 16383) + 1)) tafelix_height=$((((tafelix_number >> 14) & 16383) + 1)) ;;
    webp:52494646????????5745425056503858*)
        # VP8X: the canvas, 24 bits each of width - 1 and height - 1.
        tafelix_number=$(tafelix_number_at 24 3) && tafelix_width=$((tafelix_number + 1)) &&
            tafelix_number=$(tafelix_number_at 27 3) && tafelix_height=$((tafelix_number + 1)) ;;
    webp:52494646????????5745425056503820??????????????9d012a*)
        # VP8: after the frame tag and start code, 14 bits each of width, height.
        tafelix_number=$(tafelix_number_at 26 2) && tafelix_width=$((tafelix_number & 16383)) &&
            tafelix_number=$(tafelix_number_at 28 2) && tafelix_height=$((tafelix_number & 16383)) ;;
    jpeg:ffd8*)
        # The segments up to the first frame header (SOF0 to SOF15, not DHT,
        # JPG or DAC); fill bytes and markers without a length stepped over.
        tafelix_at=2
        while set -- $(od -An -tu1 -j$tafelix_at -N9 <"$tafelix_picture") && test $# -ge 2 && test "$1" = 255; do
            case $2 in
            255) tafelix_at=$((tafelix_at + 1)) ;;
            1 | 20[89] | 21[0-5]) tafelix_at=$((tafelix_at + 2)) ;;
            217 | 218) break ;;
            19[2-9] | 20[0-7]) case $2 in 196 | 200 | 204) ;; *)
                test $# = 9 && tafelix_height=$(($6 * 256 + $7)) tafelix_width=$(($8 * 256 + $9))
                break ;; esac
                test $# -ge 4 || break
                tafelix_at=$((tafelix_at + 2 + $3 * 256 + $4)) ;;
            *) test $# -ge 4 || break
                tafelix_at=$((tafelix_at + 2 + $3 * 256 + $4)) ;;
            esac
        done ;;
    esac
    test "$tafelix_width" && test "$tafelix_height" || tafelix_width= tafelix_height=
}

# Fails, naming the picture's size $1 x $2, when it is over tafelix's
# limits: 8192 x 8192 pixels, and 16000 a side (what Debian's ImageMagick
# takes; the page refuses the same).
tafelix_limits() {
    if test $(($1 * $2)) -gt 67108864; then
        printf 'tafelix: %s is %s x %s pixels, more than tafelix takes (8192 x 8192 = 67108864)\n' \
            "$tafelix_picture" "$1" "$2" >&2
        return 1
    fi
    if test "$1" -gt 16000 || test "$2" -gt 16000; then
        printf 'tafelix: %s is %s x %s pixels, more than tafelix takes (at most 16000 pixels a side)\n' \
            "$tafelix_picture" "$1" "$2" >&2
        return 1
    fi
}

tafelix_picture() {
    tafelix_kind=$1 tafelix_picture=$2 tafelix_made=$3 tafelix_background=$4 tafelix_switch=$5
    tafelix_bitmap=$2
    rm -f "$tafelix_made"
    if test "$tafelix_kind" = bmp; then
        # As it is when its header is damaged (too short, not "BM", or a
        # bit count or compression no BMP has), or when it is uncompressed
        # 24-bit. OS/2's 12-byte header keeps those fields elsewhere, where
        # tafelix does not read them: such a BMP is always decoded.
        set -- $(od -An -tu1 -N34 <"$tafelix_picture")
        test $# -lt 34 && return 0
        test "$1 $2" = "66 77" || return 0
        shift 14
        tafelix_header_size=$(($1 + 256 * ($2 + 256 * ($3 + 256 * $4))))
        shift 14
        if test $tafelix_header_size != 12; then
            test "$*" = "24 0 0 0 0 0" && return 0
            case $(($1 + 256 * $2)) in 1|2|4|8|16|24|32) ;; *) return 0 ;; esac
            test $(($3 + 256 * ($4 + 256 * ($5 + 256 * $6)))) -le 6 || return 0
        fi
    fi
    case $tafelix_kind in
    webp) tafelix_kind_name=WebP ;;
    jpeg) tafelix_kind_name=JPEG ;;
    png) tafelix_kind_name=PNG ;;
    gif) tafelix_kind_name=GIF ;;
    *) tafelix_kind_name=BMP ;;
    esac
    tafelix_header_size
    if test "$tafelix_width"; then
        tafelix_limits "$tafelix_width" "$tafelix_height" || return 1
    fi
    # ImageMagick's size from the header alone, before anything is decoded:
    # a GIF's logical screen, the image of the others.
    tafelix_size=$(tafelix_magick -ping "$tafelix_kind:-[0]" -format '%w %h %W %H' info: \
        <"$tafelix_picture" 2>"$tafelix_made.err")
    case $?:$tafelix_size in
    0:*[!0-9\ ]* | 0:) rm -f "$tafelix_made.err"
        printf 'tafelix: %s: ImageMagick gave no size for it: %s\n' "$tafelix_picture" "$tafelix_size" >&2
        return 1 ;;
    0:*) ;;
    127:*)
        rm -f "$tafelix_made.err"
        printf 'tafelix: %s is no 24-bit BMP; ImageMagick converts it, and TAFELIX_MAGICK is no program: install ImageMagick, or set TAFELIX_MAGICK\n' \
            "$tafelix_picture" >&2
        return 1 ;;
    *) tafelix_refused "$tafelix_made.err"; return 1 ;;
    esac
    set -- $tafelix_size
    if test "$tafelix_kind" = gif; then shift 2; fi
    rm -f "$tafelix_made.err"
    tafelix_limits "$1" "$2" || return 1

    case $tafelix_kind in
    jpeg) set -- -auto-orient -colorspace sRGB -depth 8 ;;
    gif) set -- -background none -flatten ;;
    *) set -- -set colorspace sRGB ;;
    esac
    tafelix_magick -regard-warnings "$tafelix_kind:-[0]" "$@" -alpha set +repage \
        -define png:compression-level=0 PNG32:- <"$tafelix_picture" \
        >"$tafelix_made.png" 2>"$tafelix_made.err" || { tafelix_refused "$tafelix_made.err"; return 1; }
    set -- -background "#$tafelix_background" -alpha remove
    if test "$tafelix_switch" = -wt; then
        # Fully transparent pixels made opaque white first, in place (see
        # tafelix-convert.cmake).
        set -- -background white -alpha background -channel RGBA -fill white \
            -opaque 'rgba(255,255,255,0)' +channel "$@"
    fi
    tafelix_magick -regard-warnings png:- -set colorspace sRGB "$@" -alpha off -type truecolor bmp3:- \
        <"$tafelix_made.png" >"$tafelix_made" 2>"$tafelix_made.err" || { tafelix_refused "$tafelix_made.err"; return 1; }
    rm -f "$tafelix_made.png" "$tafelix_made.err"
    tafelix_bitmap=$tafelix_made
}

if test $# -ge 2; then
    tafelix_magick() { ${TAFELIX_MAGICK:-$(command -v magick || echo convert)} "$@"; }
    case $1 in
    *.[pP][nN][gG]) tafelix_kind=png ;;
    *.[jJ][pP][gG] | *.[jJ][pP][eE][gG] | *.[jJ][pP][eE]) tafelix_kind=jpeg ;;
    *.[gG][iI][fF]) tafelix_kind=gif ;;
    *.[wW][eE][bB][pP]) tafelix_kind=webp ;;
    *.[bB][mM][pP] | *.[dD][iI][bB]) tafelix_kind=bmp ;;
    *) printf 'tafelix: %s: tafelix takes .png, .jpg, .jpeg, .jpe, .gif, .webp, .bmp and .dib pictures\n' "$1" >&2
        exit 1 ;;
    esac
    case ${3:-FFFFFF} in
    [0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f]) ;;
    *) printf 'tafelix: the background must be six hex digits RRGGBB, have %s\n' "$3" >&2
        exit 1 ;;
    esac
    tafelix_picture $tafelix_kind "$1" "$2" "${3:-FFFFFF}" "$4" || exit 1
    test "$tafelix_bitmap" = "$2" || cp -- "$1" "$2"
fi
