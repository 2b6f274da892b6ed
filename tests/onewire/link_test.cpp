#include "bus_fixture.h"
