// Compiled only to make the precompiled headers that the other targets reuse (cmake/buildtime.cmake).
