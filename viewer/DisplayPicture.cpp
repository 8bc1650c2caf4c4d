// Placeholder until the viewer window is built.
#include "viewer/DisplayPicture.h"
