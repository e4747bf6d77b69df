/* The main dialog's template: ids, texts, places and sizes of the window and
   its controls, from which the Windows resource script and the Qt dialog are
   both built. Plain definitions, so that the resource compiler reads them
   too. Places are x, y, width, height in dialog units. */
#ifndef TAVRO_UI_DIALOG_TEMPLATE_H
#define TAVRO_UI_DIALOG_TEMPLATE_H

#define IDD_MAIN 101 /* the dialog template */
#define IDI_APP 1    /* the program's icon (Windows resources) */

/* The controls, in template order, which is also the tab order. */
#define IDC_RECIPES 40000
#define IDC_OMIT_CRYSTALS 40001
#define IDC_DONT_CRAFT_SOLD 40002
#define IDC_CRAFT_BEAST_TRIBE 40003
#define IDC_CRAFT_MATERIAL_GEAR 40004
#define IDC_SHOPPING_LIST 40005
#define IDC_GENERATE 40006
#define IDC_PROGRESS 40007
#define IDC_REFRESH_CACHE 40009

#define TEMPLATE_CAPTION "TAVRO Shopping List Generator"
#define DIALOG_WIDTH_UNITS 424
#define DIALOG_HEIGHT_UNITS 427
#define DIALOG_FONT_POINTS 8
#define DIALOG_FONT_NAME "MS Shell Dlg"
/* Distance of the text boxes' tab stops, in horizontal dialog units. */
#define TAB_STOP_UNITS 32

#define INSTRUCTION_TEXT                                                                    \
    "Paste your recipe list below to generate a shopping list. If you need more than one (1) " \
    "item, type the quantity after the item name,"
#define OMIT_CRYSTALS_TEXT "Omit crystals"
#define DONT_CRAFT_SOLD_TEXT "Don't craft items sold by merchants"
#define CRAFT_BEAST_TRIBE_TEXT "Craft beast tribe items"
#define CRAFT_MATERIAL_GEAR_TEXT "Craft material gear"
#define GENERATE_CAPTION "Generate"
#define REFRESH_CACHE_TEXT "Refresh cache"

/* Whether each option box is ticked when the dialog opens. */
#define OMIT_CRYSTALS_TICKED 1
#define DONT_CRAFT_SOLD_TICKED 1
#define CRAFT_BEAST_TRIBE_TICKED 1
#define CRAFT_MATERIAL_GEAR_TICKED 1
#define REFRESH_CACHE_TICKED 0

#define INSTRUCTION_PLACE 3, 2, 404, 11
#define RECIPES_PLACE 3, 12, 418, 160
#define OMIT_CRYSTALS_PLACE 4, 179, 55, 8
#define DONT_CRAFT_SOLD_PLACE 70, 179, 125, 8
#define CRAFT_BEAST_TRIBE_PLACE 204, 179, 83, 8
#define CRAFT_MATERIAL_GEAR_PLACE 288, 179, 73, 8
#define GENERATE_PLACE 3, 195, 48, 14
#define PROGRESS_PLACE 121, 196, 298, 14
#define REFRESH_CACHE_PLACE 57, 199, 63, 8
#define SHOPPING_LIST_PLACE 3, 214, 417, 210

#endif
