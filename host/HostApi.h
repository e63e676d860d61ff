// Export/import markers for the stand-in host libraries (flt, bmm, core, geom).
// Each library is built with its own VELDRA_BUILDING_<LIB> defined, so its
// classes are exported from it and imported by everyone else.
#pragma once

#if defined(_WIN32)
#define VELDRA_HOST_EXPORT __declspec(dllexport)
#define VELDRA_HOST_IMPORT __declspec(dllimport)
#else
#define VELDRA_HOST_EXPORT __attribute__((visibility("default")))
#define VELDRA_HOST_IMPORT __attribute__((visibility("default")))
#endif

#ifdef VELDRA_BUILDING_FLT
#define FLT_API VELDRA_HOST_EXPORT
#else
#define FLT_API VELDRA_HOST_IMPORT
#endif

#ifdef VELDRA_BUILDING_BMM
#define BMM_API VELDRA_HOST_EXPORT
#else
#define BMM_API VELDRA_HOST_IMPORT
#endif

#ifdef VELDRA_BUILDING_CORE
#define CORE_API VELDRA_HOST_EXPORT
#else
#define CORE_API VELDRA_HOST_IMPORT
#endif

#ifdef VELDRA_BUILDING_GEOM
#define GEOM_API VELDRA_HOST_EXPORT
#else
#define GEOM_API VELDRA_HOST_IMPORT
#endif
