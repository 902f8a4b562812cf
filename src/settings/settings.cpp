#include "settings/settings.h"

namespace {
Settings processSettings;
}  // namespace

const Settings &CurrentSettings() {
  return processSettings;
}
Settings &MutableSettings() {
  return processSettings;
}
