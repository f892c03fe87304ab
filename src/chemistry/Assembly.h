// Assembly: a plain grouping object of the chemical tree, with no data of its own.
#pragma once

#include <tavrel/foundation/Object.h>

namespace Tavrel {

class Assembly : public Object {
    TAVREL_CLASS(Assembly, Object, Creatable)
public:
    explicit Assembly(Object* parent);
};

} // namespace Tavrel
