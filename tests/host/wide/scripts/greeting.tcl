set ::greeting "привет 日本 😀"
set ::script_file [info script]
