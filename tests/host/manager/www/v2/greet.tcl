# tobrisk: script
# name: Greeter
# version: 2.0
# description: Says hello, and breaks.

error "version 2 is broken"
