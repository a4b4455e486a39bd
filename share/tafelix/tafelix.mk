# tafelix.mk: converts bitmaps with tafelix from a GNU Makefile.
#
#   include /usr/share/tafelix/tafelix.mk
#   $(eval $(call tafelix_bitmap,gen/logo.h,art/logo.bmp,logo,-wt))
#
# The call defines two rules: gen/logo.h, made by tafelix from art/logo.bmp
# with the array name logo (and -wt when given), and gen/logo_size.h (the
# header's name without its extension, and _size.h), which defines
# LOGO_WIDTH, LOGO_HEIGHT (the row count) and declares
# `extern int logo[LOGO_WIDTH * LOGO_HEIGHT];`. Both are made again when the
# bitmap changes, and only then. A rejected bitmap fails the make and leaves
# neither header behind, so the next make tries again. The calls may come
# before the Makefile's first rule: they do not change its default goal.
#
# TAFELIX names the program: by default the one installed beside this file
# (../../bin/tafelix), else tafelix from PATH. The recipes need a POSIX shell
# and od, which reads the width and height from the bitmap's header: both come
# with every system that runs these recipes, where CMake need not be there.

_tafelix_dir := $(dir $(lastword $(MAKEFILE_LIST)))
TAFELIX ?= $(or $(firstword $(wildcard $(_tafelix_dir)../../bin/tafelix $(_tafelix_dir)../../bin/tafelix.exe)),tafelix)

_tafelix_lower := a b c d e f g h i j k l m n o p q r s t u v w x y z
_tafelix_upper_letters := A B C D E F G H I J K L M N O P Q R S T U V W X Y Z
# $(call _tafelix_map,text,from words,to words): replaces each from word by
# the to word in its place (by nothing when there is none).
_tafelix_map = $(if $2,$(call _tafelix_map,$(subst $(firstword $2),$(firstword $3),$1),$(wordlist 2,99,$2),$(wordlist 2,99,$3)),$1)
_tafelix_upper = $(call _tafelix_map,$1,$(_tafelix_lower),$(_tafelix_upper_letters))
# Not empty unless $1 is a C identifier (it names the array and the macros).
_tafelix_not_identifier = $(or $(filter-out 1,$(words $1)),$(filter 0% 1% 2% 3% 4% 5% 6% 7% 8% 9%,$1),$(call _tafelix_map,$(call _tafelix_upper,$1),$(_tafelix_upper_letters) 0 1 2 3 4 5 6 7 8 9 _,))

# $(call _tafelix_size_recipe,array,ARRAY): writes the size header $@ of the
# bitmap $<. The width and the height are the signed 32-bit little-endian
# fields at offsets 18 and 22; a top-down bitmap stores its row count
# negative, and its magnitude is the two's complement. The text is the same
# as tafelix-size.cmake writes for tafelix_add_bitmap(... SIZE).
define _tafelix_size_recipe
@set -- `od -An -tu1 -j18 -N8 '$<'` && test $$# = 8 && \
w=$$(($$1 + 256 * ($$2 + 256 * ($$3 + 256 * $$4)))) && \
if test $$8 -lt 128; then h=$$(($$5 + 256 * ($$6 + 256 * ($$7 + 256 * $$8)))); \
else h=$$((256 - $$5 + 256 * (255 - $$6 + 256 * (255 - $$7 + 256 * (255 - $$8))))); fi && \
printf '/* Size of the picture in the array $1, read from its bitmap. */\n#ifndef TAFELIX_$2_SIZE_H\n#define TAFELIX_$2_SIZE_H\n#define $2_WIDTH %s\n#define $2_HEIGHT %s\nextern int $1[$2_WIDTH * $2_HEIGHT];\n#endif\n' $$w $$h >'$@.part' && \
mv -f '$@.part' '$@'
endef

# $(call tafelix_bitmap,header,bitmap,array[,-wt]); blanks around the
# arguments do not count.
tafelix_bitmap = $(call _tafelix_rules,$(strip $1),$(strip $2),$(strip $3),$(strip $4))
define _tafelix_rules
$(if $(call _tafelix_not_identifier,$3),$(error tafelix_bitmap: the array name must be a C identifier, have '$3'))
$(if $(filter-out -wt,$4),$(error tafelix_bitmap: the fourth argument is -wt or nothing, have '$4'))
_tafelix_goal := $$(.DEFAULT_GOAL)
$1: $2
	@echo 'tafelix: $$< -> $$@'
	@mkdir -p '$$(@D)'
	@$$(TAFELIX) '$$<' '$$@.part' $3 $4 || { rm -f '$$@.part' '$$@' '$(basename $1)_size.h'; exit 1; }
	@mv -f '$$@.part' '$$@'
$(basename $1)_size.h: $2 $1
	$$(call _tafelix_size_recipe,$3,$(call _tafelix_upper,$3))
.DEFAULT_GOAL := $$(_tafelix_goal)
endef
