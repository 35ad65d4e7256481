# Input that overflows a thread's usual stack: a regular expression of
# 200,000 nested groups and 20,000 brackets left open. Tcl makes an error
# of each, given the stack to get there.
proc ::deep {} {
    set expression [string repeat (?: 200000]a[string repeat ) 200000]
    list [catch {regexp $expression a} message] [string range $message 0 42] \
        [catch [string repeat {[} 20000] message] $message
}
