# tafelix.mk: converts pictures with tafelix from a GNU Makefile.
#
#   include /usr/share/tafelix/tafelix.mk
#   $(eval $(call tafelix_bitmap,gen/logo.h,art/logo.png,logo,-wt))
#   $(eval $(call tafelix_bitmap,gen/icon.h,art/icon.png,icon,,203040))
#
# The call defines two rules: gen/logo.h, made by tafelix from art/logo.png
# with the array name logo (and -wt when given), and gen/logo_size.h (the
# header's name without its extension, and _size.h), which defines
# LOGO_WIDTH, LOGO_HEIGHT (the row count) and declares
# `extern int logo[LOGO_WIDTH * LOGO_HEIGHT];`. Both are made again when the
# picture changes, and only then. A rejected picture fails the make and
# leaves neither header behind, so the next make tries again. The calls may
# come before the Makefile's first rule: they do not change its default goal.
#
# The picture's kind comes from its name (any case), never from what it
# holds: .png, .jpg, .jpeg, .jpe, .gif, .webp, .bmp and .dib; any other
# name is refused when the Makefile is read. An uncompressed 24-bit BMP,
# and a BMP whose header is damaged, go to tafelix as they are. Every other
# picture is first made into a 24-bit bitmap beside the header
# (gen/logo.h.bmp) by ImageMagick with the coder of its kind, so no outside
# program ever starts (tafelix-picture.sh, beside this file): the picture
# people see (JPEG turned as its EXIF orientation says, CMYK and grey made
# RGB; PNG values as stored; a GIF's first frame on its whole screen), each
# channel blended over the background as round((c*a + B*(255-a)) / 255).
# The fifth argument is B, six hex digits, FFFFFF when left out; with -wt a
# fully transparent pixel becomes white and so -1. Pictures over 8192 x
# 8192 pixels are refused before they are decoded; a picture that is not of
# its name's kind, or damaged, fails the make naming it and ImageMagick's
# reason. The size is read from the bitmap tafelix converted.
#
# The array name is a C identifier and no C keyword; no two arrays of one
# Makefile may differ only in case (they would share macros, include guards
# and, where case does not count, files), and no two calls may make the same
# header. Picture and header names may hold quotes and &, and may start with
# - or @; names that make or the shell take for their own are refused when
# the Makefile is read: blanks, tabs and newlines, ; # $ % : * ? [ ] \ ( ) |
# = and the comma. That holds for names from $(wildcard) too: a blank splits such a
# name into words, and a part without a picture's ending is refused.
#
# TAFELIX names the program: by default the one installed beside this file
# (../../bin/tafelix, quoted for the shell), else tafelix from PATH.
# TAFELIX_MAGICK names ImageMagick: by default magick if it is on PATH, else
# convert (on Windows only magick: convert.exe there is something else).
# Both are command words, like CC. The recipes need a POSIX shell and od,
# which reads the bitmap's header: both come with every system that runs
# these recipes, where CMake need not be there.

_tafelix_dir := $(dir $(lastword $(MAKEFILE_LIST)))
TAFELIX ?= $(call _tafelix_sh,$(or $(firstword $(wildcard $(_tafelix_dir)../../bin/tafelix $(_tafelix_dir)../../bin/tafelix.exe)),tafelix))
TAFELIX_MAGICK ?= $(if $(filter Windows_NT,$(OS)),magick,$(if $(shell command -v magick 2>/dev/null),magick,convert))

# The C keywords (C89 to C23), which no array may be named: the same line,
# in the same order, as in tafelix-add-bitmap.cmake.
_tafelix_keywords := auto break case char const continue default do double else enum extern float for goto if inline int long register restrict return short signed sizeof static struct switch typedef union unsigned void volatile while _Alignas _Alignof _Atomic _Bool _Complex _Generic _Imaginary _Noreturn _Static_assert _Thread_local alignas alignof bool constexpr false nullptr static_assert thread_local true typeof typeof_unqual _BitInt _Decimal32 _Decimal64 _Decimal128
# The array names of the calls so far.
_tafelix_arrays :=

_tafelix_lower := a b c d e f g h i j k l m n o p q r s t u v w x y z
_tafelix_upper_letters := A B C D E F G H I J K L M N O P Q R S T U V W X Y Z
# $(call _tafelix_map,text,from words,to words): replaces each from word by
# the to word in its place (by nothing when there is none).
_tafelix_map = $(if $2,$(call _tafelix_map,$(subst $(firstword $2),$(firstword $3),$1),$(wordlist 2,99,$2),$(wordlist 2,99,$3)),$1)
_tafelix_upper = $(call _tafelix_map,$1,$(_tafelix_lower),$(_tafelix_upper_letters))
# $(call _tafelix_sh,text): text as one word of the shell, in single quotes.
_tafelix_sh = '$(subst ','\'',$1)'
# $(call _tafelix_file,name): a file name as one word of the shell, never
# taken for an option.
_tafelix_file = $(call _tafelix_sh,$(patsubst -%,./-%,$1))
# What make or the shell take for their own in a file name (a comma splits
# the arguments of $(call)).
_tafelix_comma := ,
_tafelix_unsafe := ; \# $$ % : * ? [ ] \ ( ) | = $(_tafelix_comma)
# $(call _tafelix_check_name,what,name): stops the make unless the name is
# one word free of _tafelix_unsafe.
_tafelix_check_name = $(if $(filter-out 1,$(words $2)),$(error tafelix_bitmap: the $1 '$2' must be one \
name without blanks, tabs or newlines))$(foreach c,$(_tafelix_unsafe),$(if $(findstring $c,$2),$(error \
tafelix_bitmap: the $1 '$2' holds '$c', which make or the shell take for their own)))
_tafelix_hex := 0 1 2 3 4 5 6 7 8 9 A B C D E F a b c d e f
# The picture's kind, the name of ImageMagick's coder, from its ending.
_tafelix_kinds := PNG:png JPG:jpeg JPEG:jpeg JPE:jpeg GIF:gif WEBP:webp BMP:bmp DIB:bmp
_tafelix_kind = $(patsubst $(lastword $(subst ., ,$(call _tafelix_upper,$1))):%,%,$(filter \
$(lastword $(subst ., ,$(call _tafelix_upper,$1))):%,$(_tafelix_kinds)))
# The headers and size headers of the calls so far.
_tafelix_headers :=
# Not empty unless $1 is a C identifier (it names the array and the macros).
_tafelix_not_identifier = $(or $(filter-out 1,$(words $1)),$(filter 0% 1% 2% 3% 4% 5% 6% 7% 8% 9%,$1),$(call _tafelix_map,$(call _tafelix_upper,$1),$(_tafelix_upper_letters) 0 1 2 3 4 5 6 7 8 9 _,))

# $(call _tafelix_size_recipe,array,ARRAY,header,kind,RRGGBB[,-wt]): writes
# the size header $@ of the bitmap that tafelix converted for the header:
# header.bmp, made by tafelix-picture.sh, or when that is gone, the one the
# script gives again for the picture $< (the picture itself, or header.bmp
# made anew); when it fails, the header goes too, so the next make tries
# again. The width and the height are the signed 32-bit little-endian fields
# at offsets 18 and 22; a top-down bitmap stores its row count negative, and
# its magnitude is the two's complement. The bytes are the same as
# tafelix-size.cmake writes for tafelix_add_bitmap(... SIZE).
define _tafelix_size_recipe
@f=$(call _tafelix_file,$3.bmp) && if test ! -f "$$f"; then \
tafelix_magick() { $(TAFELIX_MAGICK) "$$@"; }; . $(call _tafelix_sh,$(_tafelix_dir)tafelix-picture.sh) && \
tafelix_picture $4 $(call _tafelix_file,$<) "$$f" $5 $6 && f=$$tafelix_bitmap || { rm -f $(call _tafelix_file,$3); exit 1; }; fi && \
set -- `od -An -tu1 -j18 -N8 <"$$f"` && test $$# = 8 && \
w=$$(($$1 + 256 * ($$2 + 256 * ($$3 + 256 * $$4)))) && \
if test $$8 -lt 128; then h=$$(($$5 + 256 * ($$6 + 256 * ($$7 + 256 * $$8)))); \
else h=$$((256 - $$5 + 256 * (255 - $$6 + 256 * (255 - $$7 + 256 * (255 - $$8))))); fi && \
printf '/* Size of the picture in the array $1, read from its bitmap. */\n#ifndef TAFELIX_$2_SIZE_H\n#define TAFELIX_$2_SIZE_H\n#define $2_WIDTH %s\n#define $2_HEIGHT %s\nextern int $1[$2_WIDTH * $2_HEIGHT];\n#endif\n' $$w $$h >$(call _tafelix_file,$@.part) && \
mv -f $(call _tafelix_file,$@.part) $(call _tafelix_file,$@)
endef

# $(call tafelix_bitmap,header,picture,array[,-wt[,RRGGBB]]); blanks around
# the arguments do not count.
tafelix_bitmap = $(call _tafelix_rules,$(strip $1),$(strip $2),$(strip $3),$(strip $4),$(or $(strip $5),FFFFFF))
# The recipe reads tafelix-picture.sh, which makes the bitmap $1.bmp unless
# the picture goes to tafelix as it is. On failure it removes what it made:
# neither header is left behind.
define _tafelix_rules
$(call _tafelix_check_name,header,$1)
$(call _tafelix_check_name,picture,$2)
$(if $(call _tafelix_kind,$2),,$(error tafelix_bitmap: $2: tafelix takes .png, .jpg, .jpeg, .jpe, .gif, .webp, .bmp and .dib pictures))
$(if $(filter $1 $(basename $1)_size.h,$(_tafelix_headers)),$(error tafelix_bitmap: an earlier call makes $1 or $(basename $1)_size.h already))
$(if $(call _tafelix_not_identifier,$3),$(error tafelix_bitmap: the array name must be a C identifier, have '$3'))
$(if $(filter $3,$(_tafelix_keywords)),$(error tafelix_bitmap: the array name must not be a C keyword, have '$3'))
$(foreach other,$(_tafelix_arrays),$(if $(filter $(call _tafelix_upper,$3),$(call _tafelix_upper,$(other))),$(error tafelix_bitmap: there is an array '$(other)' already; '$3' differs from it at most in case)))
$(if $(filter-out -wt,$4),$(error tafelix_bitmap: the fourth argument is -wt or nothing, have '$4'))
$(if $(filter-out xxxxxx,$(call _tafelix_map,$5,$(_tafelix_hex),$(patsubst %,x,$(_tafelix_hex)))),$(error tafelix_bitmap: the background must be six hex digits RRGGBB, have '$5'))
_tafelix_arrays += $3
_tafelix_headers += $1 $(basename $1)_size.h
_tafelix_goal := $$(.DEFAULT_GOAL)
$1: $2 $(_tafelix_dir)tafelix-picture.sh
	@printf 'tafelix: %s -> %s\n' $$(call _tafelix_sh,$$<) $$(call _tafelix_sh,$$@)
	@mkdir -p $$(call _tafelix_file,$$(@D))
	@tafelix_magick() { $$(TAFELIX_MAGICK) "$$$$@"; }; . $(call _tafelix_sh,$(_tafelix_dir)tafelix-picture.sh) && \
	tafelix_picture $(call _tafelix_kind,$2) $$(call _tafelix_file,$$<) $$(call _tafelix_file,$$@.bmp) $5 $4 && \
	$$(TAFELIX) "$$$$tafelix_bitmap" $$(call _tafelix_file,$$@.part) $3 $4 || { $$(_tafelix_clean); exit 1; }
	@mv -f $$(call _tafelix_file,$$@.part) $$(call _tafelix_file,$$@)
$1: _tafelix_clean = rm -f $(foreach file,$1.part $1 $(basename $1)_size.h $1.bmp $1.bmp.err $1.bmp.png,$(call _tafelix_file,$(file)))
$(basename $1)_size.h: $2 $1
	$$(call _tafelix_size_recipe,$3,$(call _tafelix_upper,$3),$1,$(call _tafelix_kind,$2),$5,$4)
.DEFAULT_GOAL := $$(_tafelix_goal)
endef
