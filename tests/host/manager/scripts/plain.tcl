# A script without a manifest.
proc ::hello {} { return "plain says hello" }
::tobrisk::export ::hello
