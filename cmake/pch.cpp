// The file that builds the precompiled header the project's targets reuse.
