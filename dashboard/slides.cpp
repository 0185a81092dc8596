// The banner slides and the bitmap headers through which the embedded pictures are drawn.
#include "dashboard.h"
#include "../assets/assets.h"

// Negative heights: the embedded pixels are stored top row first.
extern const BITMAPINFOHEADER hero_bitmap = {sizeof(BITMAPINFOHEADER), HERO_W, -HERO_H, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
extern const BITMAPINFOHEADER brand_bitmap = {sizeof(BITMAPINFOHEADER), BRAND_W, -BRAND_H, 1, 32, BI_RGB, 0, 0, 0, 0,
                                              0};
extern const BITMAPINFOHEADER logo_bitmap = {sizeof(BITMAPINFOHEADER), MENU_BRAND_W, -MENU_BRAND_H, 1, 32, BI_RGB, 0,
                                             0, 0, 0, 0};

extern const banner_slide banner_slides[3] = {
    {hero_pixels, L"O PC travou?", L"Erros e lentidão no Windows.", L"Peça ajuda sem sair de casa."},
    {hero_notebook, L"Sua impressora parou?", L"Ajuste impressora, e-mail", L"e programas com um técnico."},
    {hero_manutencao, L"Economize no pacote", L"R$ 29,99 por atendimento", L"no pacote de 5 créditos."},
};
