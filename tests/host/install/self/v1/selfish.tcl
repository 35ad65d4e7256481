# tobrisk: script
# name: Self-updater
# version: 1.0
# setting: note text {Back soon} -- What it says
namespace eval ::selfish {}
proc ::selfish::hello {} { return "selfish 1.0: [::tobrisk::setting note]" }
# Updates itself from FILE while its own call runs.
proc ::selfish::update {file} { return [::tobrisk::install $file] }
::tobrisk::export ::selfish::hello ::selfish::update
