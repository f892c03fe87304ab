#include <tavrel/biopolymers/ResidueTemplateTable.h>

#include <array>

#include <tavrel/biopolymers/TemplateBonding.h>

namespace Tavrel {

namespace {

constexpr ResidueTemplate Row(std::int32_t type, LSType kind, const char* pdbName, const char* symbol,
                              const char* abbreviation, const char* name, float hydrophobicity, float pKa,
                              ResidueBondMethod method, Color color)
{
    return {
        static_cast<ResidueType>(type), kind, pdbName, symbol, abbreviation, name, hydrophobicity, pKa, method, color};
}

constexpr Color Grey(125, 125, 125);
constexpr Color UridineColor(146, 0, 146);

constexpr std::array<ResidueTemplate, ResidueTemplateCount> Table{{
    Row(0, LSOther, "UNK", "X", "Unk", "Unknown", 0.0f, 0.0f, BondNull, Grey),
    Row(1, LSAminoAcid, "ALA", "A", "Ala", "Alanine", 1.8f, 0.0f, BondAla, Color(200, 200, 200)),
    Row(2, LSAminoAcid, "ARG", "R", "Arg", "Arginine", -4.5f, 12.5f, BondArg, Color(20, 220, 255)),
    Row(3, LSAminoAcid, "ASN", "N", "Asn", "Asparagine", -3.5f, 0.0f, BondAsn, Color(0, 180, 180)),
    Row(4, LSAminoAcid, "ASP", "D", "Asp", "AsparticAcid", -3.5f, 3.9f, BondAsp, Color(155, 10, 10)),
    Row(5, LSAminoAcid, "CYS", "C", "Cys", "Cysteine", 2.5f, 0.0f, BondCys, Color(255, 200, 50)),
    Row(6, LSAminoAcid, "GLN", "Q", "Gln", "Glutamine", -3.5f, 0.0f, BondGln, Color(0, 255, 255)),
    Row(7, LSAminoAcid, "GLU", "E", "Glu", "GlutamicAcid", -3.5f, 4.3f, BondGlu, Color(255, 60, 60)),
    Row(8, LSAminoAcid, "GLY", "G", "Gly", "Glycine", -0.4f, 0.0f, BondGly, Color(235, 235, 235)),
    Row(9, LSAminoAcid, "HIS", "H", "His", "Histidine", -3.2f, 6.0f, BondHis, Color(170, 170, 255)),
    Row(10, LSAminoAcid, "ILE", "I", "Ile", "Isoleucine", 4.5f, 0.0f, BondIle, Color(170, 230, 170)),
    Row(11, LSAminoAcid, "LEU", "L", "Leu", "Leucine", 3.8f, 0.0f, BondLeu, Color(50, 130, 50)),
    Row(12, LSAminoAcid, "LYS", "K", "Lys", "Lysine", -3.9f, 10.5f, BondLys, Color(20, 60, 195)),
    Row(13, LSAminoAcid, "MET", "M", "Met", "Methionine", 1.9f, 0.0f, BondMet, Color(200, 180, 50)),
    Row(14, LSAminoAcid, "PHE", "F", "Phe", "Phenylalanine", 2.8f, 0.0f, BondPhe, Color(190, 75, 190)),
    Row(15, LSAminoAcid, "PRO", "P", "Pro", "Proline", -1.6f, 0.0f, BondPro, Color(220, 150, 130)),
    Row(16, LSAminoAcid, "SER", "S", "Ser", "Serine", -0.8f, 0.0f, BondSer, Color(250, 150, 0)),
    Row(17, LSAminoAcid, "THR", "T", "Thr", "Threonine", -0.7f, 0.0f, BondThr, Color(250, 100, 0)),
    Row(18, LSAminoAcid, "TRP", "W", "Trp", "Tryptophan", -0.9f, 0.0f, BondTrp, Color(180, 90, 180)),
    Row(19, LSAminoAcid, "TYR", "Y", "Tyr", "Tyrosine", -1.3f, 10.1f, BondTyr, Color(110, 10, 110)),
    Row(20, LSAminoAcid, "VAL", "V", "Val", "Valine", 4.2f, 0.0f, BondVal, Color(115, 175, 115)),
    Row(27, LSOther, "ACE", "X", "Ace", "Acetyl", 0.0f, 0.0f, BondAce, Grey),
    Row(28, LSAminoAcid, "AIB", "X", "Aib", "AminobutyricAcid", 0.0f, 0.0f, BondAib, Grey),
    Row(26, LSAminoAcid, "PCA", "X", "Pca", "PyroGlutamate", 0.0f, 0.0f, BondPca, Color(240, 125, 125)),
    Row(41, LSAminoAcid, "MSE", "X", "Mse", "SelenoMethionine", 0.0f, 0.0f, BondMse, Grey),
    Row(42, LSAminoAcid, "SEP", "X", "Sep", "PhosphoSerine", 0.0f, 0.0f, BondSep, Grey),
    Row(43, LSAminoAcid, "TYS", "X", "Tys", "SulfoTyrosine", 0.0f, 0.0f, BondTys, Grey),
    Row(44, LSAminoAcid, "PTR", "X", "Ptr", "PhosphoTyrosine", 0.0f, 0.0f, BondPtr, Grey),
    Row(45, LSAminoAcid, "TPO", "X", "Tpo", "PhosphoThreonine", 0.0f, 0.0f, BondTpo, Grey),
    Row(46, LSAminoAcid, "CSE", "X", "Cse", "SelenoCysteine", 0.0f, 0.0f, BondCse, Grey),
    Row(47, LSAminoAcid, "ASX", "X", "Asx", "Unknown", 0.0f, 0.0f, BondAsx, Grey),
    Row(48, LSAminoAcid, "GLX", "X", "Glx", "Unknown", 0.0f, 0.0f, BondGlx, Grey),
    Row(49, LSAminoAcid, "ORN", "X", "Orn", "Ornithine", 0.0f, 0.0f, BondOrn, Grey),
    Row(21, LSNucleicAcid, "ADE", "A", "Ade", "Adenosine", 0.0f, 0.0f, BondAde, Color::Red()),
    Row(22, LSNucleicAcid, "GUA", "G", "Gua", "Guanosine", 0.0f, 0.0f, BondGua, Color::Green()),
    Row(23, LSNucleicAcid, "THY", "T", "Thy", "Thymidine", 0.0f, 0.0f, BondThy, Color::Cyan()),
    Row(24, LSNucleicAcid, "CYT", "C", "Cyt", "Cytosine", 0.0f, 0.0f, BondCyt, Color::Magenta()),
    Row(25, LSNucleicAcid, "URD", "U", "Urd", "Uridine", 0.0f, 0.0f, BondUrd, UridineColor),
    Row(21, LSNucleicAcid, "A", "A", "Ade", "Adenosine", 0.0f, 0.0f, BondAde, Color::Red()),
    Row(22, LSNucleicAcid, "G", "G", "Gua", "Guanosine", 0.0f, 0.0f, BondGua, Color::Green()),
    Row(23, LSNucleicAcid, "T", "T", "Thy", "Thymidine", 0.0f, 0.0f, BondThy, Color::Cyan()),
    Row(24, LSNucleicAcid, "C", "C", "Cyt", "Cytosine", 0.0f, 0.0f, BondCyt, Color::Magenta()),
    Row(25, LSNucleicAcid, "U", "U", "Urd", "Uridine", 0.0f, 0.0f, BondUrd, UridineColor),
    Row(21, LSNucleicAcid, "A5'", "A", "Ade", "Adenosine", 0.0f, 0.0f, BondAde, Color::Red()),
    Row(22, LSNucleicAcid, "G5'", "G", "Gua", "Guanosine", 0.0f, 0.0f, BondGua, Color::Green()),
    Row(23, LSNucleicAcid, "T5'", "T", "Thy", "Thymidine", 0.0f, 0.0f, BondThy, Color::Cyan()),
    Row(24, LSNucleicAcid, "C5'", "C", "Cyt", "Cytosine", 0.0f, 0.0f, BondCyt, Color::Magenta()),
    Row(25, LSNucleicAcid, "U5'", "U", "Urd", "Uridine", 0.0f, 0.0f, BondUrd, UridineColor),
    Row(21, LSNucleicAcid, "A3'", "A", "Ade", "Adenosine", 0.0f, 0.0f, BondAde, Color::Red()),
    Row(22, LSNucleicAcid, "G3'", "G", "Gua", "Guanosine", 0.0f, 0.0f, BondGua, Color::Green()),
    Row(23, LSNucleicAcid, "T3'", "T", "Thy", "Thymidine", 0.0f, 0.0f, BondThy, Color::Cyan()),
    Row(24, LSNucleicAcid, "C3'", "C", "Cyt", "Cytosine", 0.0f, 0.0f, BondCyt, Color::Magenta()),
    Row(25, LSNucleicAcid, "U3'", "U", "Urd", "Uridine", 0.0f, 0.0f, BondUrd, UridineColor),
    Row(29, LSNucleicAcid, "5MC", "C", "5MC", "5-methyl Cytosine", 0.0f, 0.0f, BondCyt, Color::Magenta()),
    Row(30, LSNucleicAcid, "2MG", "G", "2MG", "5-methyl Guanosine", 0.0f, 0.0f, BondGua, Color::Green()),
    Row(38, LSNucleicAcid, "1MG", "G", "1MG", "1-methyl Guanosine", 0.0f, 0.0f, BondGua, Color::Green()),
    Row(31, LSNucleicAcid, "H2U", "U", "H2U", "Dihydro Uridine", 0.0f, 0.0f, BondH2U, UridineColor),
    Row(32, LSNucleicAcid, "M2G", "G", "M2G", "Dimethyl Guanosine", 0.0f, 0.0f, BondGua, Color::Green()),
    Row(33, LSNucleicAcid, "5MU", "U", "5MU", "5-methyl Uridine", 0.0f, 0.0f, BondUrd, UridineColor),
    Row(34, LSNucleicAcid, "1MA", "A", "1MA", "1-methyl Adenosine", 0.0f, 0.0f, BondAde, Color::Red()),
    Row(35, LSNucleicAcid, "OMC", "C", "OMC", "O-methyl Cytosine", 0.0f, 0.0f, BondCyt, Color::Magenta()),
    Row(36, LSNucleicAcid, "OMG", "G", "OMG", "O-methyl Guanosine", 0.0f, 0.0f, BondGua, Color::Green()),
    Row(40, LSNucleicAcid, "OMU", "U", "OMU", "O-methyl Uridine", 0.0f, 0.0f, BondUrd, UridineColor),
    Row(37, LSNucleicAcid, "PSU", "U", "PSU", "Pseudo Uridine", 0.0f, 0.0f, BondPSU, UridineColor),
    Row(39, LSNucleicAcid, "7MG", "G", "7MG", "7-methyl Guanosine", 0.0f, 0.0f, BondGua, Color::Green()),
}};

} // namespace

std::span<const ResidueTemplate, ResidueTemplateCount> ResidueTemplateTable()
{
    return Table;
}

} // namespace Tavrel
