// Resource ids of the Windows program, shared by the resource script and
// the code. The control ids are those of DialogControlId (ui/generation.h),
// which the resource compiler cannot read; the dialog code checks that the
// two agree.
#pragma once

#define IDI_APP 1
#define IDD_MAIN 101

#define RC_RECIPES 40000
#define RC_OMIT_CRYSTALS 40001
#define RC_DONT_CRAFT_SOLD 40002
#define RC_CRAFT_BEAST_TRIBE 40003
#define RC_CRAFT_MATERIAL_GEAR 40004
#define RC_SHOPPING_LIST 40005
#define RC_GENERATE 40006
#define RC_PROGRESS 40007
#define RC_REFRESH_CACHE 40009
