# Ships with the plugin.
set kept 1
