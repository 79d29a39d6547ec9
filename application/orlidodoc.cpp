#include "application/orlidodoc.h"
