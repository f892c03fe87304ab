// Conformation: one alternate set of coordinates over a reference object (so far: its 2-D flag).
#pragma once

#include <tavrel/foundation/Object.h>

namespace Tavrel {

class ConformationQueries;
class PropertyArchive;

class Conformation : public Object {
    // Persisted as "Conf 2d".
    TAVREL_CLASS(Conformation, Object, Creatable)
public:
    // A child of the reference, display style 1.
    Conformation(Object* reference, bool twoD);

    // Whether the conformation is a 2-D depiction.
    virtual bool Is2D() const;

    // A molecule's questions about its children, answered by the conformations among them.
    static const ConformationQueries& Queries();

private:
    bool m_twoD = false;
};

} // namespace Tavrel
