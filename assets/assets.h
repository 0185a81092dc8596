// Pictures and sound baked into the executable by assets.cpp.
//
// Banners and brand plates are raw 32-bit pixels, bytes B,G,R,0, rows top
// first, no padding, ready for a top-down 32-bpp DIB section.
// The sizes below are the contract with generate_assets.py.
#pragma once

#define HERO_W 431
#define HERO_H 77
#define BRAND_W 166
#define BRAND_H 44
#define MENU_BRAND_W 90
#define MENU_BRAND_H 26
#define CALLING_WAVE_SIZE 350636

#ifdef __cplusplus
extern "C" {
#endif

// Dashboard banner slides; the left 257 px sit under the app's text panel.
extern const unsigned char hero_pixels[HERO_W * HERO_H * 4];      // slide 0: frozen PC
extern const unsigned char hero_notebook[HERO_W * HERO_H * 4];    // slide 1: printer, e-mail, programs
extern const unsigned char hero_manutencao[HERO_W * HERO_H * 4];  // slide 2: 5-credit package

// Mark + name on #222326 (header) and on #161A20 (side bar).
extern const unsigned char brand_pixels[BRAND_W * BRAND_H * 4];
extern const unsigned char menu_brand_pixels[MENU_BRAND_W * MENU_BRAND_H * 4];

// Complete RIFF/WAVE file (PCM 16-bit mono 22050 Hz), playable from memory
// with PlaySoundW(..., SND_MEMORY).
extern const unsigned char calling_wave[CALLING_WAVE_SIZE];

#ifdef __cplusplus
}
#endif
