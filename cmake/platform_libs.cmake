# System libraries that the platform backend of this build links.
set(FLANKGUARD_PLATFORM_LIBS "")
