// Alternates: small structures with alternate locations for the conformer and document tests.
#pragma once

#include <cmath>
#include <utility>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/conformers/Conformer.h>
#include <tavrel/conformers/ConformerAtom.h>
#include <tavrel/conformers/ConformerBond.h>
#include <tavrel/conformers/ConformerModel.h>
#include <tavrel/core/Point3d.h>
#include <tavrel/foundation/OrdCollection.h>

namespace Tavrel::test {

// The children of the class, in order.
template <class T>
std::vector<T*> ChildrenOf(const Object& parent)
{
    std::vector<T*> children;
    for (int i = 0; i < parent.GetNumChildren(); ++i) {
        if (T* const child = DynCast<T>(parent.GetChild(i)))
            children.push_back(child);
    }
    return children;
}

struct Chain {
    std::vector<Atom3d*> atoms;
    std::vector<Bond*> bonds;
};

// n carbons under parent on the x axis from start, 1.5 apart, single-bonded in a row.
inline Chain MakeChain(Object* parent, int n, const Point3d& start = Point3d::origin)
{
    Chain chain;
    for (int i = 0; i < n; ++i) {
        auto* const atom = new Atom3d(parent, "C");
        atom->SetXYZ(start + Point3d(1.5 * i, 0.0, 0.0));
        if (!chain.atoms.empty())
            chain.bonds.push_back(chain.atoms.back()->MakeBond(atom, Bond::Single));
        chain.atoms.push_back(atom);
    }
    return chain;
}

// n carbons under parent on a circle of radius 1.4 about centre, each bonded to the next, the last
// to the first.
inline Chain MakeRing(Object* parent, int n, const Point3d& centre = Point3d::origin)
{
    Chain ring;
    for (int i = 0; i < n; ++i) {
        auto* const atom = new Atom3d(parent, "C");
        const double angle = 2.0 * 3.14159265358979 * i / n;
        atom->SetXYZ(centre + Point3d(1.4 * std::cos(angle), 1.4 * std::sin(angle), 0.0));
        if (!ring.atoms.empty())
            ring.bonds.push_back(ring.atoms.back()->MakeBond(atom, Bond::Aromatic));
        ring.atoms.push_back(atom);
    }
    ring.bonds.push_back(ring.atoms.back()->MakeBond(ring.atoms.front(), Bond::Aromatic));
    return ring;
}

// A model under parent over the sites and the bonds among them, with one conformer per offset: each
// conformer holds a ConformerAtom copy of every site moved by its offset and a ConformerBond copy of
// every bond, children of the conformer, as the conversion from Conformations builds them.
inline ConformerModel* MakeModel(Object* parent, const std::vector<Atom3d*>& sites, const std::vector<Bond*>& bonds,
                                 const std::vector<Point3d>& offsets)
{
    OrdCollection atoms;
    for (Atom3d* const site : sites)
        atoms.Add(site);
    OrdCollection siteBonds;
    for (Bond* const bond : bonds)
        siteBonds.Add(bond);
    auto* const model = new ConformerModel(parent, atoms, siteBonds);
    for (const Point3d& offset : offsets) {
        OrdCollection alternates;
        std::vector<std::pair<Bondable*, Bondable*>> copies;
        for (Atom3d* const site : sites) {
            auto* const alternate = new ConformerAtom(*site);
            alternate->SetXYZ(site->GetXYZ() + offset);
            alternates.Add(alternate);
            copies.emplace_back(site, alternate);
        }
        const auto copyOf = [&copies](Bondable* end) {
            for (const auto& [site, alternate] : copies) {
                if (site == end)
                    return alternate;
            }
            return end;
        };
        OrdCollection alternateBonds;
        for (Bond* const bond : bonds)
            alternateBonds.Add(new ConformerBond(model, copyOf(bond->GetAtom1()), copyOf(bond->GetAtom2()), bond));
        Conformer* const conformer = model->CreateConformer(alternates, alternateBonds);
        for (int i = 0; i < alternates.GetSize(); ++i)
            alternates.GetAt(i)->SetParent(conformer);
        for (int i = 0; i < alternateBonds.GetSize(); ++i)
            alternateBonds.GetAt(i)->SetParent(conformer);
    }
    return model;
}

} // namespace Tavrel::test
