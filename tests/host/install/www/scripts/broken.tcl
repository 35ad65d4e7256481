<!DOCTYPE html>
<html><body>Not found</body></html>
