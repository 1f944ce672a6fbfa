#include "system/systemapi.h"

namespace orvanta {

SystemApi::~SystemApi() = default;

} // namespace orvanta
