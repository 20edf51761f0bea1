#pragma once

class CHostAgent;
class CRegistryReader;
class CVantryTools;
class CFileFinder;

/// The host's directory of services; every object it hands out belongs to the host.
class CArbiter {
public:
    virtual ~CArbiter() {}
    /// The agent of the running host, or null.
    virtual CHostAgent* getAgent() = 0;
    /// The registry of the migrated installation, or null when there is none.
    virtual CRegistryReader* getRegistry() = 0;
    /// Path conversion and other helpers, or null.
    virtual CVantryTools* getTools() = 0;
    /// A file finder of the given kind (3: one directory, by name ending), or null.
    virtual CFileFinder* getFinder(int kind) = 0;
};
