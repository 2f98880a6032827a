#include "transport/communication.h"

Communication::~Communication() = default;
