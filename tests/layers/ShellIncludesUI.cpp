// Built only by the layer test, which expects it NOT to compile: the shell layer (the application
// model and its menus) sits below the shared controls and cannot see their headers.
#include "app/ui/IconButton.h"
