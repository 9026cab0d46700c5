#include "platform/Registry.h"

namespace platform {

ERegistryException::ERegistryException(const std::string& valueName)
    : Exception("Echec à la définition des données pour '" + valueName + "'") {}

}  // namespace platform
