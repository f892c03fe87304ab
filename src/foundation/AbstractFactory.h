// Interface of the per-class factories that create objects by plain class name.
#pragma once

namespace Tavrel {

class PersistentObject;

class AbstractFactory {
public:
    virtual ~AbstractFactory() = default;
    // A new heap object of the factory's class, default-constructed; the caller owns it.
    virtual PersistentObject* Create() const = 0;

protected:
    AbstractFactory() = default;
    AbstractFactory(const AbstractFactory&) = default;
    AbstractFactory& operator=(const AbstractFactory&) = default;
};

} // namespace Tavrel
