#include "UnavailableFrontApplicationSource.h"

namespace quorel {

UnavailableFrontApplicationSource::~UnavailableFrontApplicationSource() = default;

}  // namespace quorel
