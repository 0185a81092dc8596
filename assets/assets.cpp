// Embeds the generated asset files into .rdata. Using .incbin keeps them out of
// the C++ front end entirely: no giant initialiser lists, no constructors, and
// the bytes land read-only exactly as written by generate_assets.py.
//
// ASSET_DIR must be the absolute path of this folder with a trailing slash,
// e.g. -DASSET_DIR="/path/to/assets/". Rebuild this file when an asset changes
// (the build should list the asset files as dependencies of assets.cpp).
#include "assets.h"

#ifndef ASSET_DIR
#error "ASSET_DIR must be defined (absolute path of the assets folder, with trailing slash)"
#endif

// x86-64 PE symbols carry no leading underscore, so the C names are used as is.
#define EMBED(sym, file)                            \
    __asm__(".section .rdata,\"dr\"\n"              \
            ".balign 16\n"                          \
            ".globl " #sym "\n"                     \
            #sym ":\n"                              \
            ".incbin \"" ASSET_DIR file "\"\n"      \
            ".text\n")

EMBED(hero_pixels, "hero_pixels.bgra");
EMBED(hero_notebook, "hero_notebook.bgra");
EMBED(hero_manutencao, "hero_manutencao.bgra");
EMBED(brand_pixels, "brand_pixels.bgra");
EMBED(menu_brand_pixels, "menu_brand_pixels.bgra");
EMBED(calling_wave, "calling_wave.wav");
