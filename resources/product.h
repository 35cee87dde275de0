/* The product title: string resource 1, which names the Programs-menu copy.
   Shared by the resource script and the program built for the host (its
   string table when it runs on the simulated device). */
#pragma once
#define PRODUCT_TITLE "Dorna & Kel"
