#pragma once
// Dynamic libraries: load a library by its Windows-style file name, find an
// exported function by name, unload.
//
// A name such as "WCOM407.DLL" is looked up in the libraries' folder
// (SlozkaKnihoven: the program's folder in a portable copy, the private
// library folder of an installed one) under the platform's name for it: the
// extension ".DLL" (any letter case) is dropped, "lib" is put in front and
// ".so" behind, so "WCOM407.DLL" loads <library folder>/libWCOM407.so.  A
// folder part of the name stays a folder below the libraries' folder
// ("drv\WCOM407.DLL" -> <library folder>/drv/libWCOM407.so).  No other folder
// is searched: a library of the same name elsewhere on the system is never
// picked up by accident.
//
// Every successful NactiKnihovnu must be matched by one UvolniKnihovnu; the
// system counts the references, so loading the same file twice gives the
// same library, which stays mapped until both have been released.

#include <filesystem>
#include <string>
#include <string_view>

// A loaded library; nullptr for none.
using HKnihovna = void*;

// The platform's file name for a Windows-style library name, without a
// folder: "WCOM407.DLL" -> "libWCOM407.so".
std::string JmenoKnihovny(std::string_view jmeno);

// The full path NactiKnihovnu(jmeno) loads.
std::filesystem::path CestaKnihovny(std::string_view jmeno);

// Loads the library (all its symbols resolved at once, kept local to it).
// nullptr when the file is missing or not a loadable library.
HKnihovna NactiKnihovnu(std::string_view jmeno);

// Address of the exported function `jmeno`; nullptr when the library does
// not export it (or `knihovna` is nullptr).
void* AdresaFunkce(HKnihovna knihovna, const char* jmeno);

// Releases one reference to the library; true on success.
bool UvolniKnihovnu(HKnihovna knihovna);
