#include <tavrel/foundation/Iterator.h>

#include <tavrel/foundation/Enumerator.h>

namespace Tavrel {

bool Iterator::Enumerate(Enumerator& enumerator)
{
    if (!enumerator.Initialize())
        return false;
    bool result = false;
    int index = 0;
    while (Object* const object = GetNext()) {
        result = enumerator.Enumerate(object, index++);
        if (!result)
            break;
    }
    enumerator.Finalize();
    return result;
}

} // namespace Tavrel
