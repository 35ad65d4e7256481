# tobrisk: script
# name: Keeper, the user's own
# version: 2.0
set kept 2
