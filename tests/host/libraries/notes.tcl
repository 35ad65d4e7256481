# Keeps notes in an SQLite database in a folder it picks under the
# messenger's config directory, named in Cyrillic, Japanese and an emoji.
package require sqlite3
set ::folder [file join [tobrisk config_directory] "Иван 日本語 😀"]
file mkdir $::folder
sqlite3 ::notes [file join $::folder notes.db]
::notes eval {CREATE TABLE IF NOT EXISTS notes(text TEXT)}
proc ::note {text} { ::notes eval {INSERT INTO notes VALUES($text)} }
proc ::notes_all {} { ::notes eval {SELECT text FROM notes ORDER BY rowid} }
