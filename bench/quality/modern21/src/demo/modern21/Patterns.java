package demo.modern21;

// Java 21: pattern-matching switch and record patterns.
public final class Patterns {
    public sealed interface Expr permits Num, Add, Mul, Neg {}

    public record Num(int value) implements Expr {}

    public record Add(Expr left, Expr right) implements Expr {}

    public record Mul(Expr left, Expr right) implements Expr {}

    public record Neg(Expr inner) implements Expr {}

    public record Point(int x, int y) {}

    private Patterns() {}

    public static int eval(Expr e) {
        return switch (e) {
            case Num n -> n.value();
            case Add(Expr l, Expr r) -> eval(l) + eval(r);
            case Mul(Num(int a), Num(int b)) -> a * b;
            case Mul(Expr l, Expr r) -> eval(l) * eval(r);
            case Neg(var inner) -> -eval(inner);
        };
    }

    public static String describe(Object o) {
        return switch (o) {
            case null -> "nothing";
            case Integer i when i > 100 -> "a large number " + i;
            case Integer i -> "a number " + i;
            case String s when s.isEmpty() -> "an empty text";
            case String s -> "a text of " + s.length();
            case Point(int x, int y) when x == y -> "a point on the diagonal";
            case Point p -> "a point " + p.x() + "," + p.y();
            default -> "something else";
        };
    }

    public static boolean onAxis(Object o) {
        return o instanceof Point(int x, int y) && (x == 0 || y == 0);
    }
}
