# tobrisk: script
# name: Journal
# version: 1.0.0
# description: Keeps your notes and your connections' comings and goings in an SQLite database of its own.
# author: The Tobrisk developers
# home: https://example.org/tobrisk/journal
# requires-tobrisk: 0.6
# setting: keep integer 1..10000 100 -- How many entries the journal keeps
#
# The database is journal.db in the script's data folder
# (::tobrisk::data_dir), which stays across restarts and updates:
#     /tobrisk ::journal::note {Call the plumber}
#     /tobrisk ::journal::recent 5

package require sqlite3

namespace eval ::journal {}

sqlite3 ::journal::db [file join [::tobrisk::data_dir] journal.db]
::journal::db eval {
    CREATE TABLE IF NOT EXISTS entries (
        id INTEGER PRIMARY KEY,
        at INTEGER NOT NULL,
        kind TEXT NOT NULL,
        text TEXT NOT NULL
    )
}

# Adds an entry and drops the oldest beyond the setting `keep`.
proc ::journal::add {kind text} {
    set at [clock seconds]
    set keep [::tobrisk::setting keep]
    db transaction {
        db eval {INSERT INTO entries (at, kind, text) VALUES (:at, :kind, :text)}
        db eval {DELETE FROM entries WHERE id <= (SELECT max(id) FROM entries) - :keep}
    }
}

proc ::journal::note {text} {
    add note $text
    return "noted"
}

# The COUNT newest entries, newest first, one a line.
proc ::journal::recent {{count 10}} {
    set lines {}
    db eval {SELECT kind, text FROM entries ORDER BY id DESC LIMIT :count} {
        lappend lines "$kind: $text"
    }
    return [join $lines \n]
}

proc ::journal::connection {} {
    add connection "$::event(name) ($::event(medium)) is $::event(status)"
}

::tobrisk::export ::journal::note ::journal::recent
::tobrisk::on_start {vellumar eventsConnect "Connection: Change" ::journal::connection}
::tobrisk::on_stop {::journal::db close}
