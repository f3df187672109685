#pragma once
// User default values for tests.

#include "settings/settings.h"

namespace vireon::test {

// A record in which every field differs from its built-in default (the
// tasks are switched off, the report on).
DefaultValues EditedDefaults();

}  // namespace vireon::test
