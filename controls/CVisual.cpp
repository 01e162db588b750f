#include "controls/CVisual.h"

CVisual::~CVisual() = default;
