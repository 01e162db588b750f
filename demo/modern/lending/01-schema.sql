-- Lending: the staff lending library (books, members, loans, reservations, fines).

-- @object User Defined Datatype | Isbn | 2008-10-06 10:00:00
CREATE TYPE dbo.Isbn FROM varchar(13) NOT NULL;

-- @object User Defined Datatype | Barcode | 2008-10-06 10:00:02
CREATE TYPE dbo.Barcode FROM char(10) NOT NULL;

-- @object Default | df_LoanDays | 2008-10-06 10:00:10
CREATE DEFAULT dbo.df_LoanDays AS 21;

-- @object Rule | rl_Isbn | 2008-10-06 10:00:20
CREATE RULE dbo.rl_Isbn AS @value LIKE '[0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9X]'
    OR @value LIKE '97[89][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9]';

-- @object User Table | Title | 2008-10-06 10:05:00
CREATE TABLE dbo.Title (
    TitleId      int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_Title PRIMARY KEY,
    Isbn         dbo.Isbn       CONSTRAINT UQ_Title_Isbn UNIQUE,
    Name         nvarchar(200)  NOT NULL,
    Author       nvarchar(120)  NOT NULL,
    Published    smallint       NULL,
    Subject      nvarchar(60)   NULL
);

-- @object User Table | Copy | 2008-10-06 10:05:10
CREATE TABLE dbo.Copy (
    CopyId       int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_Copy PRIMARY KEY,
    Barcode      dbo.Barcode    CONSTRAINT UQ_Copy_Barcode UNIQUE,
    TitleId      int            NOT NULL CONSTRAINT FK_Copy_Title REFERENCES dbo.Title (TitleId),
    Shelf        varchar(12)    NOT NULL,
    IsWithdrawn  bit            NOT NULL CONSTRAINT DF_Copy_IsWithdrawn DEFAULT (0)
);

-- @object User Table | Member | 2008-10-06 10:05:20
CREATE TABLE dbo.Member (
    MemberId     int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_Member PRIMARY KEY,
    EmployeeNumber char(6)      NOT NULL CONSTRAINT UQ_Member_Employee UNIQUE,
    Name         nvarchar(100)  NOT NULL,
    Email        nvarchar(254)  NULL,
    JoinedOn     date           NOT NULL,
    MaxLoans     tinyint        NOT NULL CONSTRAINT DF_Member_MaxLoans DEFAULT (6)
);

-- @object User Table | Loan | 2008-10-06 10:05:30
CREATE TABLE dbo.Loan (
    LoanId       int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_Loan PRIMARY KEY,
    CopyId       int       NOT NULL CONSTRAINT FK_Loan_Copy REFERENCES dbo.Copy (CopyId),
    MemberId     int       NOT NULL CONSTRAINT FK_Loan_Member REFERENCES dbo.Member (MemberId),
    LentOn       date      NOT NULL,
    DueOn        date      NOT NULL,
    ReturnedOn   date      NULL,
    Renewals     tinyint   NOT NULL CONSTRAINT DF_Loan_Renewals DEFAULT (0),
    CONSTRAINT CK_Loan_Due CHECK (DueOn > LentOn)
);

-- @object User Table | Reservation | 2009-05-11 14:00:00
CREATE TABLE dbo.Reservation (
    ReservationId int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_Reservation PRIMARY KEY,
    TitleId      int       NOT NULL CONSTRAINT FK_Reservation_Title REFERENCES dbo.Title (TitleId),
    MemberId     int       NOT NULL CONSTRAINT FK_Reservation_Member REFERENCES dbo.Member (MemberId),
    PlacedAt     datetime2(0) NOT NULL,
    ReadyCopyId  int       NULL CONSTRAINT FK_Reservation_Copy REFERENCES dbo.Copy (CopyId),
    CollectBy    date      NULL
);

-- @object User Table | Fine | 2009-05-11 14:05:00
CREATE TABLE dbo.Fine (
    FineId       int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_Fine PRIMARY KEY,
    LoanId       int           NOT NULL CONSTRAINT FK_Fine_Loan REFERENCES dbo.Loan (LoanId),
    Amount       decimal(6, 2) NOT NULL CONSTRAINT CK_Fine_Amount CHECK (Amount > 0),
    PaidOn       date          NULL,
    Waived       bit           NOT NULL CONSTRAINT DF_Fine_Waived DEFAULT (0)
);

-- @object View | vw_OnLoan | 2008-10-06 11:00:00
CREATE VIEW dbo.vw_OnLoan
AS
SELECT l.LoanId, c.Barcode, t.Name AS Title, t.Author, m.Name AS Member, l.LentOn, l.DueOn
  FROM dbo.Loan AS l
  JOIN dbo.Copy AS c ON c.CopyId = l.CopyId
  JOIN dbo.Title AS t ON t.TitleId = c.TitleId
  JOIN dbo.Member AS m ON m.MemberId = l.MemberId
 WHERE l.ReturnedOn IS NULL;

-- @object View | vw_Overdue | 2008-10-06 11:05:00
CREATE VIEW dbo.vw_Overdue
AS
SELECT o.*, DATEDIFF(day, o.DueOn, GETDATE()) AS DaysLate
  FROM dbo.vw_OnLoan AS o
 WHERE o.DueOn < CONVERT(date, GETDATE());

-- @object View | vw_Availability | 2009-05-11 14:20:00
CREATE VIEW dbo.vw_Availability
AS
SELECT t.TitleId, t.Name, t.Author,
       COUNT(c.CopyId) AS Copies,
       COUNT(c.CopyId) - COUNT(l.LoanId) AS OnShelf,
       (SELECT COUNT(*) FROM dbo.Reservation AS r WHERE r.TitleId = t.TitleId AND r.ReadyCopyId IS NULL) AS Waiting
  FROM dbo.Title AS t
  LEFT JOIN dbo.Copy AS c ON c.TitleId = t.TitleId AND c.IsWithdrawn = 0
  LEFT JOIN dbo.Loan AS l ON l.CopyId = c.CopyId AND l.ReturnedOn IS NULL
 GROUP BY t.TitleId, t.Name, t.Author;

-- @object View | vw_PopularTitles | 2015-02-02 09:00:00
CREATE VIEW dbo.vw_PopularTitles
AS
SELECT TOP (25) t.Name, t.Author, COUNT(*) AS Loans
  FROM dbo.Loan AS l
  JOIN dbo.Copy AS c ON c.CopyId = l.CopyId
  JOIN dbo.Title AS t ON t.TitleId = c.TitleId
 WHERE l.LentOn >= DATEADD(year, -1, GETDATE())
 GROUP BY t.Name, t.Author
 ORDER BY Loans DESC;

-- @object View | vw_UnpaidFines | 2009-05-11 14:30:00
CREATE VIEW dbo.vw_UnpaidFines
AS
SELECT m.Name AS Member, SUM(f.Amount) AS Owed, COUNT(*) AS Fines
  FROM dbo.Fine AS f
  JOIN dbo.Loan AS l ON l.LoanId = f.LoanId
  JOIN dbo.Member AS m ON m.MemberId = l.MemberId
 WHERE f.PaidOn IS NULL AND f.Waived = 0
 GROUP BY m.Name;

-- @object User Defined Function | fn_LoansHeld | 2008-10-06 11:20:00
CREATE FUNCTION dbo.fn_LoansHeld (@MemberId int)
RETURNS int
AS
BEGIN
    RETURN (SELECT COUNT(*) FROM dbo.Loan WHERE MemberId = @MemberId AND ReturnedOn IS NULL);
END;

-- @object User Defined Function | fn_FineFor | 2009-05-11 14:40:00
CREATE FUNCTION dbo.fn_FineFor (@DueOn date, @ReturnedOn date)
RETURNS decimal(6, 2)
AS
BEGIN
    -- 10p a day, capped at the price of a paperback.
    DECLARE @Days int = DATEDIFF(day, @DueOn, @ReturnedOn);
    RETURN CASE WHEN @Days <= 0 THEN 0 WHEN @Days * 0.10 > 8.99 THEN 8.99 ELSE @Days * 0.10 END;
END;

-- @object User Defined Function | fn_SearchTitles | 2015-02-02 09:10:00
CREATE FUNCTION dbo.fn_SearchTitles (@Words nvarchar(200))
RETURNS TABLE
AS
RETURN
    SELECT a.TitleId, a.Name, a.Author, a.OnShelf, a.Waiting
      FROM dbo.vw_Availability AS a
     WHERE a.Name LIKE N'%' + @Words + N'%' OR a.Author LIKE N'%' + @Words + N'%';

-- @object Stored Procedure | usp_LendCopy | 2008-10-06 12:00:00
CREATE PROCEDURE dbo.usp_LendCopy
    @Barcode  char(10),
    @MemberId int
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    DECLARE @CopyId int = (SELECT CopyId FROM dbo.Copy WHERE Barcode = @Barcode AND IsWithdrawn = 0);
    IF @CopyId IS NULL
        THROW 52000, N'No copy with that barcode is in stock.', 1;
    IF dbo.fn_LoansHeld(@MemberId) >= (SELECT MaxLoans FROM dbo.Member WHERE MemberId = @MemberId)
        THROW 52001, N'The member already holds as many loans as allowed.', 1;
    BEGIN TRANSACTION;
        INSERT INTO dbo.Loan (CopyId, MemberId, LentOn, DueOn)
        VALUES (@CopyId, @MemberId, CONVERT(date, GETDATE()), DATEADD(day, 21, CONVERT(date, GETDATE())));
        DELETE dbo.Reservation WHERE ReadyCopyId = @CopyId AND MemberId = @MemberId;
    COMMIT TRANSACTION;
END;

-- @object Stored Procedure | usp_ReturnCopy | 2008-10-06 12:10:00
CREATE PROCEDURE dbo.usp_ReturnCopy
    @Barcode char(10)
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    DECLARE @LoanId int, @DueOn date, @CopyId int, @TitleId int;
    SELECT @LoanId = l.LoanId, @DueOn = l.DueOn, @CopyId = c.CopyId, @TitleId = c.TitleId
      FROM dbo.Loan AS l JOIN dbo.Copy AS c ON c.CopyId = l.CopyId
     WHERE c.Barcode = @Barcode AND l.ReturnedOn IS NULL;
    IF @LoanId IS NULL
        THROW 52010, N'That copy is not on loan.', 1;
    BEGIN TRANSACTION;
        UPDATE dbo.Loan SET ReturnedOn = CONVERT(date, GETDATE()) WHERE LoanId = @LoanId;
        IF @DueOn < CONVERT(date, GETDATE())
            INSERT INTO dbo.Fine (LoanId, Amount) VALUES (@LoanId, dbo.fn_FineFor(@DueOn, CONVERT(date, GETDATE())));
        -- Hold the copy for the longest-waiting reservation of its title.
        UPDATE TOP (1) r SET ReadyCopyId = @CopyId, CollectBy = DATEADD(day, 7, CONVERT(date, GETDATE()))
          FROM dbo.Reservation AS r
         WHERE r.TitleId = @TitleId AND r.ReadyCopyId IS NULL
           AND r.PlacedAt = (SELECT MIN(PlacedAt) FROM dbo.Reservation WHERE TitleId = @TitleId AND ReadyCopyId IS NULL);
    COMMIT TRANSACTION;
END;

-- @object Stored Procedure | usp_RenewLoan | 2008-10-06 12:20:00
CREATE PROCEDURE dbo.usp_RenewLoan
    @LoanId int
AS
BEGIN
    SET NOCOUNT ON;
    IF EXISTS (SELECT 1 FROM dbo.Loan AS l JOIN dbo.Copy AS c ON c.CopyId = l.CopyId
                 JOIN dbo.Reservation AS r ON r.TitleId = c.TitleId AND r.ReadyCopyId IS NULL
                WHERE l.LoanId = @LoanId)
        THROW 52020, N'Another member is waiting for this title; it cannot be renewed.', 1;
    UPDATE dbo.Loan SET DueOn = DATEADD(day, 21, DueOn), Renewals = Renewals + 1
     WHERE LoanId = @LoanId AND ReturnedOn IS NULL AND Renewals < 3;
    IF @@ROWCOUNT = 0
        THROW 52021, N'The loan has been renewed three times already.', 1;
END;

-- @object Stored Procedure | usp_ReserveTitle | 2009-05-11 15:00:00
CREATE PROCEDURE dbo.usp_ReserveTitle
    @TitleId  int,
    @MemberId int
AS
BEGIN
    SET NOCOUNT ON;
    IF EXISTS (SELECT 1 FROM dbo.Reservation WHERE TitleId = @TitleId AND MemberId = @MemberId)
        RETURN 0;
    INSERT INTO dbo.Reservation (TitleId, MemberId, PlacedAt) VALUES (@TitleId, @MemberId, SYSUTCDATETIME());
    RETURN 0;
END;

-- @object Stored Procedure | usp_ExpireReservations | 2009-05-11 15:10:00
CREATE PROCEDURE dbo.usp_ExpireReservations
AS
BEGIN
    SET NOCOUNT ON;
    DELETE dbo.Reservation WHERE CollectBy < CONVERT(date, GETDATE());
END;

-- @object Stored Procedure | usp_OverdueReminders | 2009-05-11 15:20:00
CREATE PROCEDURE dbo.usp_OverdueReminders
AS
BEGIN
    SET NOCOUNT ON;
    SELECT m.Email, o.Title, o.DueOn, o.DaysLate
      FROM dbo.vw_Overdue AS o
      JOIN dbo.Member AS m ON m.Name = o.Member
     WHERE m.Email IS NOT NULL AND o.DaysLate IN (1, 7, 14, 28)
     ORDER BY m.Email;
END;

-- @object Stored Procedure | usp_PayFine | 2009-05-11 15:30:00
CREATE PROCEDURE dbo.usp_PayFine
    @FineId int,
    @Waive  bit = 0
AS
BEGIN
    SET NOCOUNT ON;
    UPDATE dbo.Fine SET PaidOn = CASE WHEN @Waive = 0 THEN CONVERT(date, GETDATE()) END, Waived = @Waive
     WHERE FineId = @FineId AND PaidOn IS NULL AND Waived = 0;
END;

-- @object Stored Procedure | usp_AddTitle | 2008-10-06 12:40:00
CREATE PROCEDURE dbo.usp_AddTitle
    @Isbn      varchar(13),
    @Name      nvarchar(200),
    @Author    nvarchar(120),
    @Published smallint = NULL,
    @Subject   nvarchar(60) = NULL,
    @Copies    tinyint = 1,
    @Shelf     varchar(12)
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        INSERT INTO dbo.Title (Isbn, Name, Author, Published, Subject)
        VALUES (@Isbn, @Name, @Author, @Published, @Subject);
        DECLARE @TitleId int = SCOPE_IDENTITY();
        DECLARE @n tinyint = 0;
        WHILE @n < @Copies
        BEGIN
            INSERT INTO dbo.Copy (Barcode, TitleId, Shelf)
            VALUES (RIGHT('0000000000' + CAST(NEXT VALUE FOR dbo.BarcodeSequence AS varchar(10)), 10), @TitleId, @Shelf);
            SET @n += 1;
        END;
    COMMIT TRANSACTION;
END;

-- @object Stored Procedure | usp_WithdrawCopy | 2011-07-04 10:00:00
CREATE PROCEDURE dbo.usp_WithdrawCopy
    @Barcode char(10)
AS
BEGIN
    SET NOCOUNT ON;
    IF EXISTS (SELECT 1 FROM dbo.Loan AS l JOIN dbo.Copy AS c ON c.CopyId = l.CopyId
                WHERE c.Barcode = @Barcode AND l.ReturnedOn IS NULL)
        THROW 52030, N'The copy is on loan; withdraw it when it comes back.', 1;
    UPDATE dbo.Copy SET IsWithdrawn = 1 WHERE Barcode = @Barcode;
END;

-- @object Stored Procedure | usp_MemberHistory | 2015-02-02 09:30:00
CREATE PROCEDURE dbo.usp_MemberHistory
    @MemberId int
AS
BEGIN
    SET NOCOUNT ON;
    SELECT t.Name, t.Author, l.LentOn, l.ReturnedOn, f.Amount AS Fine
      FROM dbo.Loan AS l
      JOIN dbo.Copy AS c ON c.CopyId = l.CopyId
      JOIN dbo.Title AS t ON t.TitleId = c.TitleId
      LEFT JOIN dbo.Fine AS f ON f.LoanId = l.LoanId
     WHERE l.MemberId = @MemberId
     ORDER BY l.LentOn DESC;
END;

-- @object Trigger | tr_Loan_OneAtATime | 2008-10-06 12:50:00
CREATE TRIGGER dbo.tr_Loan_OneAtATime ON dbo.Loan
AFTER INSERT
AS
BEGIN
    SET NOCOUNT ON;
    IF EXISTS (SELECT l.CopyId FROM dbo.Loan AS l JOIN inserted AS i ON i.CopyId = l.CopyId
                WHERE l.ReturnedOn IS NULL GROUP BY l.CopyId HAVING COUNT(*) > 1)
    BEGIN
        ROLLBACK TRANSACTION;
        THROW 52040, N'That copy is already on loan.', 1;
    END;
END;

-- @object Trigger | tr_Member_NoDeleteWithLoans | 2009-05-11 15:40:00
CREATE TRIGGER dbo.tr_Member_NoDeleteWithLoans ON dbo.Member
INSTEAD OF DELETE
AS
BEGIN
    SET NOCOUNT ON;
    IF EXISTS (SELECT 1 FROM dbo.Loan AS l JOIN deleted AS d ON d.MemberId = l.MemberId WHERE l.ReturnedOn IS NULL)
        THROW 52050, N'A member with books on loan cannot be removed.', 1;
    DELETE r FROM dbo.Reservation AS r JOIN deleted AS d ON d.MemberId = r.MemberId;
    DELETE m FROM dbo.Member AS m JOIN deleted AS d ON d.MemberId = m.MemberId;
END;

-- @object Trigger | tr_Fine_Audit | 2017-10-23 16:15:00
CREATE TRIGGER dbo.tr_Fine_Audit ON dbo.Fine
AFTER UPDATE
AS
BEGIN
    SET NOCOUNT ON;
    IF UPDATE(Waived)
        PRINT CONCAT(N'Fine waived by ', ORIGINAL_LOGIN(), N' at ', SYSDATETIME());
END;
