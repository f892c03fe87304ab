#include <tavrel/symmetry_build/ImageNode.h>

#include <ostream>
#include <string>

namespace Tavrel {

std::ostream& operator<<(std::ostream& os, const ImageNode& node)
{
    return os << std::to_string(node.item) << ':' << node.key;
}

} // namespace Tavrel
