// The shared library is made of the room archives; this file gives CMake a source.
