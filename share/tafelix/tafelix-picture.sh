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
        # Debian's policy.xml refuses pictures over 16000 pixels wide or
        # high and says only "no images defined".
        printf "tafelix: %s: ImageMagick read no %s picture from it and gave no reason; its policy.xml may refuse the picture's size (Debian's refuses more than 16000 pixels wide or high)\n" \
            "$tafelix_picture" "$tafelix_kind_name" >&2
    else
        printf 'tafelix: %s: ImageMagick cannot read it as a %s picture: %s\n' \
            "$tafelix_picture" "$tafelix_kind_name" "${tafelix_reason#; }" >&2
    fi
    return 1
}

tafelix_picture() {
    tafelix_kind=$1 tafelix_picture=$2 tafelix_made=$3 tafelix_background=$4 tafelix_switch=$5
    tafelix_bitmap=$2
    rm -f "$tafelix_made"
    if test "$tafelix_kind" = bmp; then
        # As it is when its header is damaged (too short, not "BM", or a
        # bit count or compression no BMP has; for OS/2's 12-byte header
        # they are elsewhere), or when it is uncompressed 24-bit.
        set -- $(od -An -tu1 -N34 <"$tafelix_picture")
        test $# -lt 34 && return 0
        test "$1 $2" = "66 77" || return 0
        shift 14
        tafelix_header_size=$(($1 + 256 * ($2 + 256 * ($3 + 256 * $4))))
        shift 14
        test "$*" = "24 0 0 0 0 0" && return 0
        if test $tafelix_header_size != 12; then
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
    # The size from the header alone, before anything is decoded: a GIF's
    # logical screen, the image of the others.
    tafelix_size=$(tafelix_magick -ping "$tafelix_kind:-[0]" -format '%w %h %W %H' info: \
        <"$tafelix_picture" 2>"$tafelix_made.err")
    case $?:$tafelix_size in
    0:*[!0-9\ ]* | 0:) printf 'tafelix: %s: ImageMagick gave no size for it: %s\n' "$2" "$tafelix_size" >&2
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
    if test $(($1 * $2)) -gt 67108864; then
        rm -f "$tafelix_made.err"
        printf 'tafelix: %s is %s x %s pixels, more than tafelix takes (8192 x 8192 = 67108864)\n' \
            "$tafelix_picture" "$1" "$2" >&2
        return 1
    fi
    # Wider or higher, refused as the page refuses it, whatever ImageMagick
    # allows. (Debian's ImageMagick refuses it at the ping already,
    # without a word: see above.)
    if test "$1" -gt 16000 || test "$2" -gt 16000; then
        rm -f "$tafelix_made.err"
        printf 'tafelix: %s is %s x %s pixels, more than tafelix takes (at most 16000 pixels a side)\n' \
            "$tafelix_picture" "$1" "$2" >&2
        return 1
    fi

    case $tafelix_kind in
    jpeg) set -- -auto-orient -colorspace sRGB -depth 8 ;;
    gif) set -- -background none -flatten ;;
    *) set -- -set colorspace sRGB ;;
    esac
    tafelix_magick -regard-warnings "$tafelix_kind:-[0]" "$@" -alpha set +repage PNG32:- <"$tafelix_picture" \
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
