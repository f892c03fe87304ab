// Mutator: calls a user function on every object of a walk.
#pragma once

#include <tavrel/foundation/Enumerator.h>

namespace Tavrel {

// Has no filter: the function sees every object, null entries of collections included.
class Mutator : public Enumerator {
public:
    using Function = void (*)(Object* object, void* data);

    Mutator(Function function, void* data);
    Mutator(const Mutator&) = default;
    Mutator& operator=(const Mutator&) = default;

    // Calls the function (when there is one) with the object and the user data; never stops the walk.
    bool Enumerate(Object* object, int index) override;

private:
    Function m_function;
    void* m_data;
};

} // namespace Tavrel
