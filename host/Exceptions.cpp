// The host's two raising helpers: the silent abort and the database error
// that names the component it is about.
#include "host/Exceptions.h"

#include "host/Classes.h"

namespace host {

void Abort() {
    throw EAbort("Operation aborted");
}

void DatabaseError(const std::string& message, const TComponent* component) {
    if (component && !component->Name().empty()) throw EDatabaseError(component->Name() + ": " + message);
    throw EDatabaseError(message);
}

} // namespace host
