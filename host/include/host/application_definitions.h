// Readers of the definitions that configure the container process: the
// start-up definitions (log, start-up arguments, script paths) and the
// loader's application definitions (loader, name, version, identifiers,
// memory and package settings, publisher texts, application macros and the
// protocols, that is the path aliases the application declares). What they
// read goes into the process-wide application settings
// (package/application_settings.h).
//
// Each reader takes a definitions list or null (the application has no
// definitions) and returns 1. They run on the start-up thread and on the
// thread that adjusts the loader.
#pragma once
#include <cstddef>

class DefinitionsList;

// "arguments" (top level, blanks trimmed, replaces the previous arguments
// text); section "log": "name" (trimmed and unquoted), "enable", "ignore
// errors"; section "kesto": the paths "debug", "release" and "core script",
// resolved against the loader folder and normalised. A section's keys are
// read only when the section has a key.
int ReadStartupDefinitions(DefinitionsList* definitions);

// Section "application" ("loader", "name", "version", "id", "id.platform",
// "id.image", "icon", "audio.layer", "publisher.name", "publisher.alias",
// "publisher.id", "publisher.description"), "vfs"."enable raw access" and,
// when the definitions have a section "memory", its three keys. A missing
// key gives its default (the name keeps the current one). Then the
// application macros (children of "application.macros", registered as
// system macros with their own macros expanded), the application's system
// macros and the protocols. Without definitions, the name becomes the
// executable's base name and the version "0.0.0000.0000 en-US (DEBUG)";
// nothing else changes.
int ReadApplicationDefinitions(DefinitionsList* definitions);

// A start-up option into buffer (kStartupOptionSize bytes, cleared first):
// the value of "name(value)" on the command line, which loses the option
// (several such options join with one blank); the start-up definitions'
// key "arguments.<name>", when present, overrides it. Values are cut to the
// buffer. The option "id" names the instance explicitly.
constexpr size_t kStartupOptionSize = 260;
void GetStartupOption(const char* name, char* buffer, char* commandLine);

// Each key "protocols.<name>" with a value becomes the path alias <name>:
// the value's macros expanded, trimmed and unquoted, resolved against the
// loader folder and normalised. "kesto" and "loader" (any case) are the
// system's own protocols: such a definition is refused with a log line.
int ReadProtocolDefinitions(DefinitionsList* definitions);

// The version the application reports when it has no definitions.
constexpr char kUndefinedApplicationVersion[] = "0.0.0000.0000 en-US (DEBUG)";
