#include <tavrel/core/RegExpression.h>

#include <utility>

#include <tavrel/core/StringUtils.h>

namespace Tavrel {

namespace {

using ByteClass = std::bitset<256>;

std::size_t ByteIndex(char c) { return static_cast<unsigned char>(c); }

void AddRange(ByteClass& byteClass, char first, char last)
{
    for (std::size_t c = ByteIndex(first); c <= ByteIndex(last); ++c)
        byteClass.set(c);
}

// The class of an escape letter (\d, \w, \s) or, for any other byte, that byte alone.
ByteClass EscapeClass(char c)
{
    ByteClass result;
    if (c == 'd') {
        AddRange(result, '0', '9');
    } else if (c == 'w') {
        AddRange(result, '0', '9');
        AddRange(result, 'a', 'z');
        AddRange(result, 'A', 'Z');
        result.set(ByteIndex('_'));
    } else if (c == 's') {
        for (const char space : {' ', '\t', '\n', '\v', '\f', '\r'})
            result.set(ByteIndex(space));
    } else {
        result.set(ByteIndex(c));
    }
    return result;
}

// The class with both letter cases of every letter it holds.
ByteClass FoldCase(const ByteClass& byteClass)
{
    ByteClass folded = byteClass;
    for (char c = 'a'; c <= 'z'; ++c) {
        const char upper = StringUtils::ToUpper(c);
        if (byteClass.test(ByteIndex(c)) || byteClass.test(ByteIndex(upper))) {
            folded.set(ByteIndex(c));
            folded.set(ByteIndex(upper));
        }
    }
    return folded;
}

// Reads a bracket class starting just after '['; pos ends just after ']'. The result holds the bytes
// listed; negate tells whether the class stands for all the others.
bool ReadBracketClass(std::string_view text, std::size_t& pos, ByteClass& result, bool& negate)
{
    result.reset();
    negate = pos < text.size() && text[pos] == '^';
    if (negate)
        ++pos;
    bool first = true;
    while (true) {
        if (pos >= text.size())
            return false;
        char c = text[pos];
        if (c == ']' && !first)
            break;
        first = false;
        ++pos;
        if (c == '\\') {
            if (pos >= text.size())
                return false;
            c = text[pos++];
            if (c == 'd' || c == 'w' || c == 's') {
                result |= EscapeClass(c);
                continue;
            }
        }
        if (pos + 1 < text.size() && text[pos] == '-' && text[pos + 1] != ']') {
            char last = text[pos + 1];
            pos += 2;
            if (last == '\\') {
                if (pos >= text.size())
                    return false;
                last = text[pos++];
            }
            if (ByteIndex(last) < ByteIndex(c))
                return false;
            AddRange(result, c, last);
        } else {
            result.set(ByteIndex(c));
        }
    }
    ++pos;
    return true;
}

// Postfix form of the expression.
struct PostItem {
    enum class Op : std::uint8_t { Atom, Concat, Alternate, Star, Plus, Optional };
    Op op;
    std::int32_t byteClass;
};

} // namespace

RegExpression::RegExpression(std::string_view text, bool ignoreCase) : Pattern(ignoreCase), m_text(text)
{
    bool usesOperators = false;
    if (!Compile(text, usesOperators)) {
        m_classes.clear();
        m_foldedClasses.clear();
        m_states.clear();
        m_start = -1;
    }
}

bool RegExpression::IsRegExpression(std::string_view text)
{
    RegExpression expression(std::string_view{}, false);
    bool usesOperators = false;
    return expression.Compile(text, usesOperators) && usesOperators;
}

std::unique_ptr<Pattern<std::string>> RegExpression::Copy() const { return std::make_unique<RegExpression>(*this); }

bool RegExpression::Compile(std::string_view text, bool& usesOperators)
{
    using Op = PostItem::Op;
    std::vector<PostItem> postfix;
    // Per open group: alternatives and atoms pending at the level outside it.
    std::vector<std::pair<int, int>> groups;
    int alternatives = 0;
    int atoms = 0;

    const auto closeLevel = [&]() {
        while (--atoms > 0)
            postfix.push_back({Op::Concat, 0});
        for (; alternatives > 0; --alternatives)
            postfix.push_back({Op::Alternate, 0});
    };

    usesOperators = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char c = text[pos];
        if ((c == '^' && pos == 0) || (c == '$' && pos + 1 == text.size())) {
            usesOperators = true;
            ++pos;
            continue;
        }
        ByteClass atom;
        bool negate = false;
        switch (c) {
        case '^':
        case '$':
        case ']':
            return false;
        case '(':
            usesOperators = true;
            if (atoms > 1) {
                --atoms;
                postfix.push_back({Op::Concat, 0});
            }
            groups.emplace_back(alternatives, atoms);
            alternatives = 0;
            atoms = 0;
            ++pos;
            continue;
        case ')':
            usesOperators = true;
            if (groups.empty() || atoms == 0)
                return false;
            closeLevel();
            std::tie(alternatives, atoms) = groups.back();
            groups.pop_back();
            ++atoms;
            ++pos;
            continue;
        case '|':
            usesOperators = true;
            if (atoms == 0)
                return false;
            while (--atoms > 0)
                postfix.push_back({Op::Concat, 0});
            ++alternatives;
            ++pos;
            continue;
        case '*':
        case '+':
        case '?':
            usesOperators = true;
            if (atoms == 0)
                return false;
            postfix.push_back({c == '*' ? Op::Star : c == '+' ? Op::Plus : Op::Optional, 0});
            ++pos;
            continue;
        case '.':
            usesOperators = true;
            atom.set();
            ++pos;
            break;
        case '[':
            usesOperators = true;
            ++pos;
            if (!ReadBracketClass(text, pos, atom, negate))
                return false;
            break;
        case '\\':
            usesOperators = true;
            if (pos + 1 >= text.size())
                return false;
            atom = EscapeClass(text[pos + 1]);
            pos += 2;
            break;
        default:
            atom.set(ByteIndex(c));
            ++pos;
            break;
        }
        if (atoms > 1) {
            --atoms;
            postfix.push_back({Op::Concat, 0});
        }
        postfix.push_back({Op::Atom, static_cast<std::int32_t>(m_classes.size())});
        // Case is folded before a class is negated, so [^a] refuses "A" too when case is ignored.
        ByteClass folded = FoldCase(atom);
        if (negate) {
            atom.flip();
            folded.flip();
        }
        m_classes.push_back(atom);
        m_foldedClasses.push_back(folded);
        ++atoms;
    }
    if (!groups.empty() || atoms == 0)
        return false;
    closeLevel();

    // Thompson construction. A dangling exit is encoded as 2 * state + (0 for out, 1 for out1).
    struct Fragment {
        std::int32_t start;
        std::vector<std::int32_t> exits;
    };
    const auto addState = [this](State::Kind kind, std::int32_t byteClass, std::int32_t out, std::int32_t out1) {
        m_states.push_back({kind, byteClass, out, out1});
        return static_cast<std::int32_t>(m_states.size() - 1);
    };
    const auto patch = [this](const std::vector<std::int32_t>& exits, std::int32_t target) {
        for (const std::int32_t exit : exits) {
            State& state = m_states[static_cast<std::size_t>(exit / 2)];
            (exit % 2 == 0 ? state.out : state.out1) = target;
        }
    };
    const auto merge = [](std::vector<std::int32_t> a, std::vector<std::int32_t> b) {
        if (a.size() < b.size())
            std::swap(a, b);
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };

    std::vector<Fragment> stack;
    const auto pop = [&stack]() {
        Fragment fragment = std::move(stack.back());
        stack.pop_back();
        return fragment;
    };
    for (const PostItem& item : postfix) {
        switch (item.op) {
        case Op::Atom: {
            const std::int32_t s = addState(State::Kind::Byte, item.byteClass, -1, -1);
            stack.push_back({s, {2 * s}});
            break;
        }
        case Op::Concat: {
            Fragment second = pop();
            Fragment first = pop();
            patch(first.exits, second.start);
            stack.push_back({first.start, std::move(second.exits)});
            break;
        }
        case Op::Alternate: {
            Fragment second = pop();
            Fragment first = pop();
            const std::int32_t s = addState(State::Kind::Split, 0, first.start, second.start);
            stack.push_back({s, merge(std::move(first.exits), std::move(second.exits))});
            break;
        }
        case Op::Optional: {
            Fragment inner = pop();
            const std::int32_t s = addState(State::Kind::Split, 0, inner.start, -1);
            inner.exits.push_back(2 * s + 1);
            stack.push_back({s, std::move(inner.exits)});
            break;
        }
        case Op::Star:
        case Op::Plus: {
            Fragment inner = pop();
            const std::int32_t s = addState(State::Kind::Split, 0, inner.start, -1);
            patch(inner.exits, s);
            stack.push_back({item.op == Op::Star ? s : inner.start, {2 * s + 1}});
            break;
        }
        }
    }
    Fragment whole = pop();
    patch(whole.exits, addState(State::Kind::Accept, 0, -1, -1));
    m_start = whole.start;
    return true;
}

bool RegExpression::Match(const std::string& value, bool ignoreCase) const
{
    if (m_start < 0)
        return false;

    std::vector<std::uint64_t> marks(m_states.size(), 0);
    std::uint64_t generation = 0;
    std::vector<std::int32_t> pending;
    // Adds a state and everything reachable from it without reading a byte.
    const auto follow = [&](std::vector<std::int32_t>& list, std::int32_t first) {
        pending.assign(1, first);
        while (!pending.empty()) {
            const std::int32_t s = pending.back();
            pending.pop_back();
            if (s < 0 || marks[static_cast<std::size_t>(s)] == generation)
                continue;
            marks[static_cast<std::size_t>(s)] = generation;
            const State& state = m_states[static_cast<std::size_t>(s)];
            if (state.kind == State::Kind::Split) {
                pending.push_back(state.out1);
                pending.push_back(state.out);
            } else {
                list.push_back(s);
            }
        }
    };

    std::vector<std::int32_t> current;
    std::vector<std::int32_t> next;
    ++generation;
    follow(current, m_start);
    for (const char c : value) {
        ++generation;
        next.clear();
        const std::size_t exact = ByteIndex(c);
        const auto& classes = ignoreCase ? m_foldedClasses : m_classes;
        for (const std::int32_t s : current) {
            const State& state = m_states[static_cast<std::size_t>(s)];
            if (state.kind != State::Kind::Byte)
                continue;
            if (classes[static_cast<std::size_t>(state.byteClass)].test(exact))
                follow(next, state.out);
        }
        std::swap(current, next);
        if (current.empty())
            return false;
    }
    for (const std::int32_t s : current) {
        if (m_states[static_cast<std::size_t>(s)].kind == State::Kind::Accept)
            return true;
    }
    return false;
}

} // namespace Tavrel
