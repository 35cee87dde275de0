/* The product title: string resource 1, and the name of the Programs-menu
   copy. Shared by the resource script and the simulated device. */
#pragma once
#define PRODUCT_TITLE "Dorna & Kel"
