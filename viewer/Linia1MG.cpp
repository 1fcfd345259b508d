#include "viewer/Linia1MG.h"

#include <cstring>

Linia1MG::Linia1MG() { clear(); minChannels = 128; }
Linia1MG::~Linia1MG() { CzytajTekst(""); }
void Linia1MG::clear() { std::memset(this, 0, sizeof(*this)); }
void Linia1MG::Zeruj() { clear(); minChannels = 64; }
void Linia1MG::CzytajLinie(const char*) {}
void Linia1MG::CzytajTekst(const char*) {}
bool operator==(const Linia1MG& a, const Linia1MG& b) { return std::memcmp(&a, &b, sizeof a) == 0; }
