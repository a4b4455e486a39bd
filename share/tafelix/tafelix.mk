# tafelix.mk: converts pictures with tafelix from a GNU Makefile.
#
#   include /usr/share/tafelix/tafelix.mk
#   $(eval $(call tafelix_bitmap,gen/logo.h,art/logo.png,logo,-wt))
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
# A picture whose name ends in .bmp (any case) goes to tafelix as it is. Any
# other picture (PNG, JPEG, GIF, whatever ImageMagick reads) is first made
# into a 24-bit bitmap beside the header (gen/logo.h.bmp) by ImageMagick:
# its first frame, its pixel values as stored (no colour or gamma
# conversion), transparency composited over white. The size is read from
# that bitmap.
#
# The array name is a C identifier and no C keyword; no two arrays of one
# Makefile may differ only in case (they would share macros, include guards
# and, where case does not count, files). File names may hold quotes, &, ;
# and the like; not blanks, #, %, :, $, commas or parentheses, which make or
# the call take for their own.
#
# TAFELIX names the program: by default the one installed beside this file
# (../../bin/tafelix, quoted for the shell), else tafelix from PATH.
# TAFELIX_MAGICK names ImageMagick: by default magick if it is on PATH, else
# convert (on Windows only magick: convert.exe there is something else).
# Both are command words, like CC. The recipes need a POSIX shell and od, which reads the width and
# height from the bitmap's header: both come with every system that runs
# these recipes, where CMake need not be there.

_tafelix_dir := $(dir $(lastword $(MAKEFILE_LIST)))
TAFELIX ?= $(call _tafelix_sh,$(or $(firstword $(wildcard $(_tafelix_dir)../../bin/tafelix $(_tafelix_dir)../../bin/tafelix.exe)),tafelix))
TAFELIX_MAGICK ?= $(if $(filter Windows_NT,$(OS)),magick,$(if $(shell command -v magick 2>/dev/null),magick,convert))
# The values as stored: without -set colorspace sRGB, ImageMagick 6 takes a
# PNG with gAMA 1.0 for linear light and converts it.
_tafelix_magick_options := -set colorspace sRGB -background white -alpha remove -alpha off -type truecolor

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
# Not empty unless $1 is a C identifier (it names the array and the macros).
_tafelix_not_identifier = $(or $(filter-out 1,$(words $1)),$(filter 0% 1% 2% 3% 4% 5% 6% 7% 8% 9%,$1),$(call _tafelix_map,$(call _tafelix_upper,$1),$(_tafelix_upper_letters) 0 1 2 3 4 5 6 7 8 9 _,))

# $(call _tafelix_size_recipe,array,ARRAY,bitmap): writes the size header $@
# of the bitmap. The width and the height are the signed 32-bit little-endian
# fields at offsets 18 and 22; a top-down bitmap stores its row count
# negative, and its magnitude is the two's complement. The bytes are the
# same as tafelix-size.cmake writes for tafelix_add_bitmap(... SIZE).
define _tafelix_size_recipe
@set -- `od -An -tu1 -j18 -N8 $(call _tafelix_sh,$3)` && test $$# = 8 && \
w=$$(($$1 + 256 * ($$2 + 256 * ($$3 + 256 * $$4)))) && \
if test $$8 -lt 128; then h=$$(($$5 + 256 * ($$6 + 256 * ($$7 + 256 * $$8)))); \
else h=$$((256 - $$5 + 256 * (255 - $$6 + 256 * (255 - $$7 + 256 * (255 - $$8))))); fi && \
printf '/* Size of the picture in the array $1, read from its bitmap. */\n#ifndef TAFELIX_$2_SIZE_H\n#define TAFELIX_$2_SIZE_H\n#define $2_WIDTH %s\n#define $2_HEIGHT %s\nextern int $1[$2_WIDTH * $2_HEIGHT];\n#endif\n' $$w $$h >$(call _tafelix_sh,$@.part) && \
mv -f $(call _tafelix_sh,$@.part) $(call _tafelix_sh,$@)
endef

# $(call _tafelix_magick_step,bitmap): the shell command that makes the
# bitmap from the first frame of the picture $<.
_tafelix_magick_step = if command -v $(TAFELIX_MAGICK) >/dev/null 2>&1; \
then $(TAFELIX_MAGICK) $(call _tafelix_sh,$<[0]) $(_tafelix_magick_options) bmp3:$(call _tafelix_sh,$1); \
else printf 'tafelix: %s is no BMP; ImageMagick converts it, and TAFELIX_MAGICK (%s) is no program: install ImageMagick, or set TAFELIX_MAGICK\n' \
$(call _tafelix_sh,$<) $(call _tafelix_sh,$(TAFELIX_MAGICK)) >&2; false; fi

# $(call tafelix_bitmap,header,picture,array[,-wt]); blanks around the
# arguments do not count.
tafelix_bitmap = $(call _tafelix_rules,$(strip $1),$(strip $2),$(strip $3),$(strip $4),$(if $(filter %.BMP,$(call _tafelix_upper,$(strip $2))),,$(strip $1).bmp))
# $5 is the bitmap ImageMagick makes, empty for a BMP. On failure the
# recipe removes what it made: neither header is left behind.
define _tafelix_rules
$(if $(call _tafelix_not_identifier,$3),$(error tafelix_bitmap: the array name must be a C identifier, have '$3'))
$(if $(filter $3,$(_tafelix_keywords)),$(error tafelix_bitmap: the array name must not be a C keyword, have '$3'))
$(foreach other,$(_tafelix_arrays),$(if $(filter $(call _tafelix_upper,$3),$(call _tafelix_upper,$(other))),$(error tafelix_bitmap: there is an array '$(other)' already; '$3' differs from it at most in case)))
$(if $(filter-out -wt,$4),$(error tafelix_bitmap: the fourth argument is -wt or nothing, have '$4'))
_tafelix_arrays += $3
_tafelix_goal := $$(.DEFAULT_GOAL)
$1: $2
	@printf 'tafelix: %s -> %s\n' $$(call _tafelix_sh,$$<) $$(call _tafelix_sh,$$@)
	@mkdir -p $$(call _tafelix_sh,$$(@D))
	@$(if $5,$$(call _tafelix_magick_step,$5) &&) $$(TAFELIX) $$(call _tafelix_sh,$(or $5,$2)) $$(call _tafelix_sh,$$@.part) $3 $4 || { $$(_tafelix_clean); exit 1; }
	@mv -f $$(call _tafelix_sh,$$@.part) $$(call _tafelix_sh,$$@)
$1: _tafelix_clean = rm -f $(foreach file,$1.part $1 $(basename $1)_size.h $5,$(call _tafelix_sh,$(file)))
$(basename $1)_size.h: $2 $1
	$$(call _tafelix_size_recipe,$3,$(call _tafelix_upper,$3),$(or $5,$2))
.DEFAULT_GOAL := $$(_tafelix_goal)
endef
