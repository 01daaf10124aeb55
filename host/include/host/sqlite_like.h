// The custom LIKE that the SQLite object installs in its databases (two
// arguments: pattern, then text). Leading option characters of the pattern:
// '*' compares without accents, '#' compares letters and digits only. Then
// a pattern "%...%" searches for its inner text ignoring case, "$" (and an
// optional '^') introduces a wildcard pattern list, and anything else is an
// equality ignoring case. The answer is the integer 1 or 0; NULL arguments
// give 0.
#pragma once

struct sqlite3_context;
struct sqlite3_value;
struct sqlite3;

void ZEQSQLiteLikeFunction(sqlite3_context* context, int argc, sqlite3_value** argv);
// Installs it as "like" with two arguments; SQLite's result code.
int ZEQSQLiteInstallCustomLike(sqlite3* database);

// The match itself on two ANSI texts; either null gives false.
bool ZEQCustomLikeMatch(const char* pattern, const char* text);

// Removes, in place, every character that is not a letter or digit (C
// library classification); returns the text.
char* StripNonAlnum(char* text);
