// Replaced by the subsystem's first portable source file.
