#pragma once

// Resources of the program file: its icon, the tray and menu icons and the window's artwork.
#define IDI_VERRELUNE 1
#define IDI_TRAY 10
#define IDI_MENU_HASARD 11
#define IDI_MENU_OUVRIR 12
#define IDI_MENU_PRECEDENT 13
#define IDI_MONITEUR 20
#define IDI_PRECEDENT 21
#define IDI_SUIVANT 22
