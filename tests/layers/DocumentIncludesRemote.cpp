// Built only by the layer test, which expects it NOT to compile: the document layer sits below the
// remote-control layer and cannot see its headers.
#include "app/remote/RemoteControl.h"
